#include "png/read/read_ahead.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "winlayer/base/allocation.h"

namespace {

ReadAheadStream& Self(FileStream* stream) { return *static_cast<ReadAheadStream*>(stream); }

uint32_t Here(const ReadAheadStream& self) { return self.BufferStart + self.Offset; }

// Puts the source where this stream stands and empties the buffer.
void Settle(ReadAheadStream& self)
{
    if (self.Offset != self.Filled)
        self.Source->SetPosition(Here(self));
    self.BufferStart = Here(self);
    self.Filled = self.Offset = 0;
}

uint32_t SeekAhead(FileStream* stream, int32_t distance, SeekOrigin origin)
{
    ReadAheadStream& self = Self(stream);
    if (origin == SeekOrigin::Current && distance == 0)
        return Here(self);
    // From the start the distance is a 32-bit position, as for the source.
    const auto target = static_cast<uint32_t>(distance);
    if (origin == SeekOrigin::Start && target - self.BufferStart <= self.Filled) {
        self.Offset = target - self.BufferStart;
        return target;
    }
    if (origin != SeekOrigin::Start)
        Settle(self);
    const uint32_t moved = self.Source->Operations->Seek(self.Source, distance, origin);
    // A failed move leaves the source, and this stream, where they were.
    if (moved == kSeekFailed)
        return kSeekFailed;
    self.BufferStart = moved;
    self.Filled = self.Offset = 0;
    return moved;
}

uint32_t SizeAhead(FileStream* stream) { return Self(stream).SourceSize; }

uint32_t TakeBuffered(ReadAheadStream& self, uint8_t* to, uint32_t count)
{
    const uint32_t n = std::min(count, self.Filled - self.Offset);
    std::memcpy(to, self.Buffer + self.Offset, n);
    self.Offset += n;
    return n;
}

// Moves past what the block held and fills it from the source: the bytes read.
uint32_t Refill(ReadAheadStream& self)
{
    self.BufferStart += self.Filled;
    self.Offset = 0;
    self.Filled = self.Source->Read(self.Buffer, kReadAheadSize);
    return self.Filled;
}

uint32_t ReadAhead(FileStream* stream, void* buffer, uint32_t count)
{
    ReadAheadStream& self = Self(stream);
    auto* to = static_cast<uint8_t*>(buffer);
    uint32_t got = TakeBuffered(self, to, count);
    while (got < count) {
        // A read as large as a block goes straight into the caller's buffer.
        if (count - got >= kReadAheadSize) {
            self.BufferStart += self.Filled;
            self.Filled = self.Offset = 0;
            const uint32_t n = self.Source->Read(to + got, count - got);
            self.BufferStart += n;
            return got + n;
        }
        if (Refill(self) == 0)
            break;
        got += TakeBuffered(self, to + got, count - got);
    }
    return got;
}

uint32_t WriteNothing(FileStream*, const void*, uint32_t) { return 0; }

void SetSizeNothing(FileStream*, uint32_t) {}

void CloseNothing(FileStream*) {}

constexpr StreamOperations kReadAheadOperations = {
    SeekAhead, SizeAhead, SetSizeNothing, ReadAhead, WriteNothing, CloseNothing, nullptr, nullptr,
};

}  // namespace

void ReadAheadStream::Destroy()
{
    if (Source && Buffer)
        Settle(*this);
    std::free(Buffer);
    Buffer = nullptr;
    FileStream::Destroy();
}

uint32_t ReadAheadStream::View(uint32_t count, uint8_t*& bytes)
{
    if (Offset == Filled && count > 0)
        Refill(*this);
    const uint32_t n = std::min(count, Filled - Offset);
    bytes = Buffer + Offset;
    Offset += n;
    return n;
}

uint32_t ReadAheadStream::Left() const
{
    const uint32_t here = Here(*this);
    return SourceSize > here ? SourceSize - here : 0;
}

ReadAheadStream* OpenReadAhead(FileStream& source)
{
    ReadAheadStream* stream = Create<ReadAheadStream>();
    if (!stream)
        return nullptr;
    stream->OperationTable = kReadAheadOperations;
    stream->Operations = &stream->OperationTable;
    stream->Buffer = static_cast<uint8_t*>(AllocateBytes(kReadAheadSize));
    if (!stream->Buffer) {
        Release(stream);
        return nullptr;
    }
    stream->Source = &source;
    stream->BufferStart = source.Position();
    stream->SourceSize = source.Size();
    return stream;
}
