// Where the image-data reader meets the row loops: the loops pull one
// filtered row at a time through ReadDecompressed, restore it and convert it
// into the header chunk's buffers.
#pragma once

#include <cstdint>

#include "png/image.h"

// The zlib stream, its 65535-byte input buffer and the stream it reads from;
// exists for one run of the image-data handler.
class InflateContext;

// Fills count bytes of buffer with inflated image data, stepping from one
// "IDAT" chunk to the next by itself. Returns count when the buffer was
// filled, fewer (possibly 0) when the data ran out, -1 on failure with the
// image's Status set. crc is the running, uncomplemented CRC register of the
// "IDAT" chunk being read; dataEnd the position where its data ends.
int32_t ReadDecompressed(PngImageDataChunk& chunk, InflateContext& context, uint8_t* buffer, int32_t count,
                         uint32_t& dataEnd, uint32_t& crc);

// The row loops for interlace methods 0 and 1. They read rows of
// RowLength + 1 bytes into chunk.CurrentRow() until the image is complete or
// a read returns 0 or -1.
void DecodePlainRows(PngImageDataChunk& chunk, InflateContext& context, uint32_t& crc);
void DecodeAdam7Rows(PngImageDataChunk& chunk, InflateContext& context, uint32_t& crc);
