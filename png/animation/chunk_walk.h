// Stepping through a file's chunks by their framing alone (length, type,
// data, CRC: PNG standard, section 5.3), for the animation's structure walk
// and its frames. Nothing here checks a CRC: pictures are read without
// StrictCrc, and frames are read as pictures are.
#pragma once

#include <cstdint>

#include "png/format.h"
#include "winlayer/base/file_stream.h"

struct FrameControl;

// The 26 data bytes of "fcTL".
constexpr uint32_t kControlLength = 26;

struct ChunkHead {
    uint32_t Position = 0;  // of the length field
    uint32_t Length = 0;
    ChunkName Type;

    uint32_t DataPosition() const { return Position + 8; }
};

// The chunk whose length field stands at position; false at the end of the
// stream, for a length beyond the standard's 2^31 - 1, and for a chunk that
// does not end inside the stream (nothing after it could be read).
bool ReadChunkHead(FileStream& stream, uint32_t position, ChunkHead& head);

// Where the chunk after head begins.
inline uint32_t NextChunk(const ChunkHead& head) { return head.Position + 12 + head.Length; }

// The chunk's first count data bytes (count at most its length); false when
// they cannot be read.
bool ReadChunkStart(FileStream& stream, const ChunkHead& head, uint8_t* bytes, uint32_t count);

// The fields of an "fcTL" as they stand; a size or offset above 2^31 - 1
// gives an empty region, which the structure walk refuses.
FrameControl ParseFrameControl(const uint8_t* data);
