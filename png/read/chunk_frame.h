// A chunk's frame (PNG standard, section 5.3): the length and type before
// its data and the CRC after it. The chunk walk, the generic chunk's reads
// and the image-data reader's steps from one "IDAT" chunk to the next all
// read and check them here.
#pragma once

#include <cstdint>

#include "png/format.h"
#include "winlayer/base/file_stream.h"

// The PNG standard limits chunk lengths to 2^31 - 1.
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFFu;

struct ChunkFrame {
    uint32_t Length = 0;
    ChunkName Type;
};

// Length and type in one read: false when the stream ends inside either,
// which ends a load the same way wherever it ends.
bool ReadChunkFrame(FileStream& stream, ChunkFrame& frame);

// The CRC that ends one chunk and the frame of the next in one read: the
// bytes the stream held, of 12. Fewer than 4: no CRC; fewer than 12: no
// further chunk.
uint32_t ReadCrcAndFrame(FileStream& stream, uint32_t& storedCrc, ChunkFrame& next);

// The CRC after a chunk's data; a stream that ends inside it leaves the
// missing bytes 0.
uint32_t ReadStoredCrc(FileStream& stream);

// The running, uncomplemented CRC register over the chunk type, where every
// chunk's check starts; Matches compares it, at the data's end, with the
// CRC the file stores.
uint32_t StartChunkCrc(const ChunkName& type);
inline bool CrcMatches(uint32_t crc, uint32_t stored) { return (crc ^ 0xFFFFFFFFu) == stored; }

// Positions are 32-bit; a chunk that claims to run past 4 GB ends at the
// last position, which a real stream never reaches.
uint32_t EndOfData(uint32_t position, uint32_t length);
