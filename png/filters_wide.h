// The Up filter in 8-byte groups: the buffers are taken as consecutive groups
// starting at the filter-type byte, ceil((length + 1) / 8) of them, added
// bytewise without carries. The last group may run up to 7 bytes into the
// spare room after the row, in both buffers; the filter-type byte keeps its
// value because its addend is forced to 0. Bytes 1 to length come out as the
// byte loop gives them, for every length.
#pragma once

#include <cstdint>

// The fastest form this build has; the FilterRoutine signature, step unused.
void UnfilterUpWide(uint8_t* row, const uint8_t* previous, int32_t length, int32_t step);

// Plain 64-bit word arithmetic, available everywhere.
void UnfilterUpWords(uint8_t* row, const uint8_t* previous, int32_t length, int32_t step);

#if defined(__SSE2__)
void UnfilterUpSse2(uint8_t* row, const uint8_t* previous, int32_t length, int32_t step);
#endif
