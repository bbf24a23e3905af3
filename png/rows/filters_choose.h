// The faster forms of the scanline filters, all with the FilterRoutine
// signature: row and previous point at the filter-type byte of their
// buffers, bytes 1 to length follow. Each gives the byte loop's bytes for
// every length and step. Only the Up forms touch the spare bytes after the
// row, each exactly as the 8-byte Up does; the others never write past byte
// length and never read past byte length of either buffer.
#pragma once

#include <cstdint>

#include "png/cpu.h"
#include "png/rows/filters.h"

// The Up filter in 8-byte groups: the buffers are taken as consecutive groups
// starting at the filter-type byte, ceil((length + 1) / 8) of them, added
// bytewise without carries. The last group may run up to 7 bytes into the
// spare room after the row, in both buffers; the filter-type byte keeps its
// value because its addend is forced to 0.
void UnfilterUpWide(uint8_t* row, const uint8_t* previous, int32_t length, int32_t step);
void UnfilterUpWords(uint8_t* row, const uint8_t* previous, int32_t length, int32_t step);
#if defined(__SSE2__)
void UnfilterUpSse2(uint8_t* row, const uint8_t* previous, int32_t length, int32_t step);
#endif

// Byte loops that carry the restored left byte in a register instead of
// reading back what was just stored, for steps 1 and 2 (two interleaved
// chains); Paeth chooses without branches. Portable.
void UnfilterAverageCarried(uint8_t* row, const uint8_t* previous, int32_t length, int32_t step);
void UnfilterPaethCarried(uint8_t* row, const uint8_t* previous, int32_t length, int32_t step);

// The byte loops from byte `from` on (x and b past the filter byte), for the
// bytes a faster form leaves after its last whole pixel or block; a and c
// are 0 left of the row.
void SubTail(uint8_t* x, int32_t from, int32_t length, int32_t step);
void AverageTail(uint8_t* x, const uint8_t* b, int32_t from, int32_t length, int32_t step);
void PaethTail(uint8_t* x, const uint8_t* b, int32_t from, int32_t length, int32_t step);

// The fastest forms for this processor and filter step, falling back to the
// byte loops (and the 8-byte Up when wide) where nothing faster exists.
RowFilters ChooseWideRowFilters(const ProcessorFeatures& features, bool wide, int32_t step);

#if defined(__i386__) || defined(__x86_64__)
// Puts the vector forms of filters_x86.cpp for this step into filters where
// the processor has what they need: Up 16 bytes a step (32 with AVX2) in
// place of the 8-byte Up when wide, leaving the spare bytes as that form
// leaves them (a row cut short in a longer Adam7 pass shows them); Sub at
// steps 1, 2, 4 and 8 by a prefix sum over 16 bytes, at 3 and 6 one pixel a
// step; Average and Paeth one pixel (step bytes) a step for steps 2 to 8,
// Paeth in 16-bit lanes, with SSSE3 absolute values and SSE4.1 blends where
// present. Step 1 keeps the carried byte loops: there every byte depends on
// the one before.
void ChooseVectorFilters(const ProcessorFeatures& features, bool wide, int32_t step, RowFilters& filters);

// Puts the four-row form of filters_wavefront_x86.cpp for steps 1 to 4 into
// filters (SSE2, with SSE4.1 blends and byte shuffles where present), and
// with SSE4.1 the sixteen-row form for step 1.
void ChooseWavefrontFilters(const ProcessorFeatures& features, int32_t step, RowFilters& filters);
#endif
