// The plain and Adam7 row loops, with the source of filtered rows as a
// parameter: the image-data handler (png/read/chunks/image_data.cpp) drives
// them from the inflated "IDAT" stream, the tests from memory. The rows'
// room knows nothing of the reader beyond this source.
#pragma once

#include <array>
#include <cstdint>

#include "png/image.h"

// Fills count bytes of buffer; returns the bytes delivered, fewer (possibly
// 0) when the data ran out, -1 on failure. The loops stop at 0 or -1 and use
// a short positive read as delivered.
struct RowSource {
    int32_t (*Read)(void* context, uint8_t* buffer, int32_t count) = nullptr;
    void* Context = nullptr;
    // Optional: a read in place that nothing outside the loop can tell from
    // not yet having happened (the inflate reader's PeekBuffered): the bytes,
    // which Take then takes, or none.
    uint8_t* (*Peek)(void* context, int32_t count) = nullptr;
    void (*Take)(void* context, int32_t count) = nullptr;
};

// With shift s only the Adam7 passes 0 to kLastPass[s] are decoded: exactly
// those whose start and increments are multiples of 2^s.
constexpr std::array<int32_t, 4> kLastPass = {6, 4, 2, 0};

// Expect the row buffers the image-data handler makes (PngImageDataChunk::
// Load): RowLength + 12 bytes each at the full width, buffer 0 zeroed,
// CurrentIndex 1.
void RunPlainRows(PngImageDataChunk& chunk, const RowSource& source);
void RunAdam7Rows(PngImageDataChunk& chunk, const RowSource& source);
