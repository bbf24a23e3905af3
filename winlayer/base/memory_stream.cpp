#include "winlayer/base/memory_stream.h"

#include <algorithm>
#include <cstring>

namespace {

MemoryStream& Self(FileStream* stream) { return *static_cast<MemoryStream*>(stream); }

uint32_t SeekMemory(FileStream* stream, int32_t distance, SeekOrigin origin)
{
    MemoryStream& self = Self(stream);
    ++self.CallCount;
    // From the start the distance is unsigned, as the platform seek takes the
    // low 32 bits of a position; from elsewhere it is signed.
    int64_t base = 0;
    int64_t move = static_cast<uint32_t>(distance);
    if (origin != SeekOrigin::Start) {
        base = origin == SeekOrigin::Current ? static_cast<int64_t>(self.Offset) : self.ByteCount;
        move = distance;
    }
    if (base + move < 0)
        return kSeekFailed;
    self.Offset = static_cast<uint64_t>(base + move);
    return static_cast<uint32_t>(self.Offset);
}

uint32_t MemorySize(FileStream* stream)
{
    ++Self(stream).CallCount;
    return Self(stream).ByteCount;
}

void SetSizeNothing(FileStream* stream, uint32_t) { ++Self(stream).CallCount; }

uint32_t ReadMemory(FileStream* stream, void* buffer, uint32_t count)
{
    MemoryStream& self = Self(stream);
    ++self.CallCount;
    if (self.Offset >= self.ByteCount || count == 0)
        return 0;
    uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(count, self.ByteCount - self.Offset));
    std::memcpy(buffer, self.Bytes + self.Offset, n);
    if (self.Offset < self.HighWater)
        self.RereadBytes += std::min<uint64_t>(n, self.HighWater - self.Offset);
    self.Offset += n;
    self.HighWater = std::max(self.HighWater, self.Offset);
    return n;
}

uint32_t WriteNothing(FileStream* stream, const void*, uint32_t)
{
    ++Self(stream).CallCount;
    return 0;
}

void CloseMemory(FileStream* stream)
{
    Self(stream).Bytes = nullptr;
    Self(stream).ByteCount = 0;
}

constexpr StreamOperations kMemoryStreamOperations = {
    SeekMemory, MemorySize, SetSizeNothing, ReadMemory, WriteNothing, CloseMemory, nullptr, nullptr,
};

}  // namespace

MemoryStream* OpenMemoryStream(const uint8_t* bytes, size_t count)
{
    MemoryStream* stream = Create<MemoryStream>();
    stream->OperationTable = kMemoryStreamOperations;
    stream->Operations = &stream->OperationTable;
    stream->Bytes = bytes;
    stream->ByteCount = static_cast<uint32_t>(std::min<size_t>(count, kSeekFailed - 1));
    return stream;
}
