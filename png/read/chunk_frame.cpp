// Chunk framing, and the members of the generic chunk, which reads its data
// and CRC through it.
#include "png/read/chunk_frame.h"

#include <cstdlib>

#include "png/image.h"
#include "winlayer/base/allocation.h"

bool ReadChunkFrame(FileStream& stream, ChunkFrame& frame)
{
    uint8_t bytes[8];
    if (stream.Read(bytes, 8) != 8)
        return false;
    frame.Length = ReadBigEndian32(bytes);
    frame.Type = ChunkName::FromBytes(bytes + 4);
    return true;
}

uint32_t ReadCrcAndFrame(FileStream& stream, uint32_t& storedCrc, ChunkFrame& next)
{
    uint8_t bytes[12] = {};
    const uint32_t got = stream.Read(bytes, sizeof bytes);
    storedCrc = ReadBigEndian32(bytes);
    next.Length = ReadBigEndian32(bytes + 4);
    next.Type = ChunkName::FromBytes(bytes + 8);
    return got;
}

uint32_t ReadStoredCrc(FileStream& stream)
{
    uint8_t stored[4] = {};
    stream.Read(stored, 4);
    return ReadBigEndian32(stored);
}

uint32_t StartChunkCrc(const ChunkName& type)
{
    return UpdateCrc(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(type.Bytes.data()), 4);
}

uint32_t EndOfData(uint32_t position, uint32_t length)
{
    uint64_t end = uint64_t{position} + length;
    return end > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(end);
}

void PngChunk::Init()
{
    Obj::Init();
    Data = static_cast<uint8_t*>(AllocateZeroed(1, 1));
}

bool PngChunk::SetDataSize(int32_t n)
{
    if (n < 0)
        return false;
    void* resized = ResizeBytes(Data, static_cast<size_t>(n) + 1);
    if (!resized)
        return false;
    Data = static_cast<uint8_t*>(resized);
    DataSize = n;
    return true;
}

int32_t PngChunk::Index() const { return Owner ? Owner->Chunks->IndexOf(this) : -1; }

void PngChunk::Destroy()
{
    std::free(Data);
    Data = nullptr;
    DataSize = 0;
    Obj::Destroy();
}

bool PngChunk::ReadChunkData(FileStream& stream, uint32_t length)
{
    // The loader refuses lengths the stream cannot hold before any handler
    // runs; this guards direct callers all the same.
    if (length > kMaxChunkLength || !SetDataSize(static_cast<int32_t>(length))) {
        Owner->Status = PngStatus::MissingLength;
        return false;
    }
    // A short read leaves the rest of Data as it was; the CRC then decides.
    if (length > 0)
        stream.Read(Data, length);
    const uint32_t stored = ReadStoredCrc(stream);
    // Without StrictCrc a mismatch is ignored: nothing to compute.
    if (!Owner->StrictCrc)
        return true;
    if (CrcMatches(UpdateCrc(StartChunkCrc(Name), Data, static_cast<size_t>(DataSize)), stored))
        return true;
    Owner->Status = PngStatus::CrcMismatch;
    return false;
}
