// A stream over bytes already in memory, for the fuzz targets and tests. It
// is a FileStream with its own eight-slot table, so the decoder cannot tell
// it from a file: seeks may go past the end, reads there return 0, and the
// size and positions are 32-bit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "winlayer/base/file_stream.h"

class MemoryStream : public FileStream {
public:
    const uint8_t* Bytes = nullptr;  // not owned; must outlive the stream
    uint32_t ByteCount = 0;
    // 64 bits, as a file pointer is: a seek from the current position may
    // go past 4 GB, and only the low 32 bits are reported.
    uint64_t Offset = 0;
    // The furthest byte delivered so far. The decoder only ever moves
    // forward, so a read below it means the work done is no longer bounded
    // by the input's length.
    uint64_t HighWater = 0;
    uint64_t RereadBytes = 0;
    uint64_t CallCount = 0;

protected:
    ~MemoryStream() override = default;
};

// Inputs beyond 4 GB are cut to the first 4 GB - 1 bytes, as the file
// stream reports only the low 32 bits of a size.
MemoryStream* OpenMemoryStream(const uint8_t* bytes, size_t count);
