// Scanline filters of filter method 0 (PNG standard, section 9): a row is
// restored in place against the row before it. The byte loops are the
// reference; a faster form may replace one of them, chosen once per picture.
#pragma once

#include <array>
#include <cstdint>

#include "png/image.h"

// row and previous point at the filter-type byte of their buffers; bytes 1 to
// length follow it, then the spare bytes of the buffer (at least 11). step is
// the filter step in bytes, at least 1.
using FilterRoutine = void (*)(uint8_t* row, const uint8_t* previous, int32_t length, int32_t step);

// Restores two consecutive Paeth rows at once: row against previous, then
// next against the restored row, one pixel of each in turn, so that the two
// chains from pixel to pixel overlap. Same buffer layout as FilterRoutine;
// the step is the routine's own.
using PaethPairRoutine = void (*)(uint8_t* row, uint8_t* next, const uint8_t* previous, int32_t length);

// Restores four consecutive rows of any filter types at once, each one
// pixel behind the row above: row k starts at rows + k * stride (its
// filter-type byte), the first is restored against previous. Only bytes 1
// to length of each row are written; the step is the routine's own.
using FourRowsRoutine = void (*)(uint8_t* rows, int32_t stride, const uint8_t* previous, int32_t length);

// One routine per filter type 0 to 4, and the pair and four-row forms where
// there are such; ManyRows restores ManyRowsCount rows the same way (sixteen
// rows of 1-byte pixels, which four rows leave mostly empty).
struct RowFilters {
    std::array<FilterRoutine, 5> Routines{};
    PaethPairRoutine PaethPair = nullptr;
    FourRowsRoutine FourRows = nullptr;
    FourRowsRoutine ManyRows = nullptr;
    int32_t ManyRowsCount = 0;
};

// Whether count consecutive rows (filter-type bytes stride apart) are
// restored faster together than row by row: sixteen when three in
// four or more are Average or Paeth rows (each one chain of pixels); four
// when three are Paeth rows or all four are Average or Paeth rows (beside
// Sub, Up or None rows, an Average row is faster alone).
bool RestoreTogether(const uint8_t* rows, int32_t stride, int32_t count);

// The byte loops, with the 8-byte Up when wide is true.
RowFilters ChooseRowFilters(bool wide);

// Restores bytes 1 to length of row from the filter type in row[0], which is
// left as it was. Types above 4 leave the row unchanged: not an error.
void UnfilterRow(const RowFilters& filters, uint8_t* row, const uint8_t* previous, int32_t length, int32_t step);

// The same with the byte loops only: the reference every faster form must match.
void UnfilterRow(uint8_t* row, const uint8_t* previous, int32_t length, int32_t step);

// The current row buffer of the chunk against its previous one.
inline void UnfilterRow(const RowFilters& filters, PngImageDataChunk& chunk)
{
    UnfilterRow(filters, chunk.CurrentRow(), chunk.PreviousRow(), chunk.RowLength, chunk.FilterStep);
}
