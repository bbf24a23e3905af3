// Where the image-data reader meets the row loops: the loops pull one
// filtered row at a time through ReadDecompressed, restore it and convert it
// into the header chunk's buffers.
#pragma once

#include <zlib.h>

#include <cstdint>

#include "png/image.h"

// Compressed input passes through one buffer of this size; a piece never
// crosses the end of a chunk's data.
constexpr uint32_t kInflateInputSize = 65535;

// The zlib stream, its 65535-byte input buffer and the stream it reads from;
// exists for one run of the image-data handler.
class InflateContext {
public:
    z_stream Zlib{};
    uint8_t* Input = nullptr;
    FileStream* Stream = nullptr;
    // The stream's position, kept here so that no row costs a seek to ask it.
    uint32_t Position = 0;
    bool Started = false;   // inflateInit succeeded and Input exists
    bool Finished = false;  // the zlib stream has ended; nothing more comes
    bool Failed = false;    // a read failed and set the image's Status
};

// False (Started false) when zlib or the input buffer cannot be had; the
// first read then fails with InflateError.
bool OpenInflate(FileStream& stream, InflateContext& context);
void CloseInflate(InflateContext& context);

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
