#include "png/animation/frame_stream.h"

#include <algorithm>
#include <cstring>

#include "png/image.h"

namespace {

FrameStream& Self(FileStream* stream) { return *static_cast<FrameStream*>(stream); }

void WriteBigEndian32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// Bytes of a data chunk before the data the frame takes from it.
uint32_t Skipped(const FrameStream& s) { return s.FrameData ? 4 : 0; }

// The chunk at position when it continues the frame's data as its index-th
// chunk.
bool DataChunkAt(FrameStream& s, uint32_t position, uint32_t index, ChunkHead& head)
{
    if (!ReadChunkHead(*s.Source, position, head))
        return false;
    if (!s.FrameData)
        return head.Type == ChunkName("IDAT");
    uint8_t sequence[4];
    return head.Type == ChunkName("fdAT") && ReadChunkStart(*s.Source, head, sequence, 4) &&
           ReadBigEndian32(sequence) == s.FirstSequence + index;
}

// Length of a data chunk as the stream shows it: framing and data.
uint64_t ShownLength(const FrameStream& s, const ChunkHead& head) { return 12 + head.Length - Skipped(s); }

void RewindToFirstChunk(FrameStream& s)
{
    s.ChunkIndex = 0;
    s.ChunkStart = s.PrefixSize;
    s.Chunk = {};
    // Position 0 (the signature's) marks "no data chunk".
    if (!DataChunkAt(s, s.FirstData, 0, s.Chunk))
        s.Chunk = {};
}

// Moves the cursor to the data chunk holding the stream's offset; false when
// the offset lies past the data (in "IEND" or beyond).
bool FindChunk(FrameStream& s)
{
    if (s.Offset < s.ChunkStart)
        RewindToFirstChunk(s);
    while (s.Chunk.Position != 0 && s.Offset >= s.ChunkStart + ShownLength(s, s.Chunk)) {
        ChunkHead next;
        s.ChunkStart += ShownLength(s, s.Chunk);
        if (!DataChunkAt(s, NextChunk(s.Chunk), s.ChunkIndex + 1, next)) {
            s.Chunk.Position = 0;
            break;
        }
        s.Chunk = next;
        ++s.ChunkIndex;
    }
    return s.Chunk.Position != 0;
}

// Reads from the chunk the cursor is in, at most to its end.
uint32_t ReadFromChunk(FrameStream& s, uint8_t* out, uint32_t count)
{
    const uint64_t at = s.Offset - s.ChunkStart;
    const uint32_t dataLength = s.Chunk.Length - Skipped(s);
    uint8_t framing[8];
    WriteBigEndian32(framing, dataLength);
    std::memcpy(framing + 4, "IDAT", 4);
    if (at < 8) {
        const uint32_t n = std::min<uint32_t>(count, static_cast<uint32_t>(8 - at));
        std::memcpy(out, framing + at, n);
        return n;
    }
    if (at < 8 + uint64_t{dataLength}) {
        const uint32_t n = std::min<uint32_t>(count, static_cast<uint32_t>(8 + dataLength - at));
        s.Source->SetPosition(static_cast<uint32_t>(s.Chunk.DataPosition() + Skipped(s) + (at - 8)));
        return s.Source->Read(out, n);
    }
    // Pictures are read without StrictCrc, so the CRC is never compared.
    const uint32_t n = std::min<uint32_t>(count, static_cast<uint32_t>(ShownLength(s, s.Chunk) - at));
    std::memset(out, 0, n);
    return n;
}

constexpr uint8_t kEnd[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};

uint32_t ReadFrame(FileStream* stream, void* buffer, uint32_t count)
{
    FrameStream& s = Self(stream);
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < count && s.Offset < s.Size) {
        uint32_t n = 0;
        const uint32_t want = count - done;
        if (s.Offset < s.PrefixSize) {
            n = std::min<uint32_t>(want, static_cast<uint32_t>(s.PrefixSize - s.Offset));
            std::memcpy(out + done, s.Prefix + s.Offset, n);
        } else if (FindChunk(s)) {
            n = ReadFromChunk(s, out + done, want);
        } else {
            const uint64_t at = s.Offset - (s.Size - sizeof(kEnd));
            n = std::min<uint32_t>(want, static_cast<uint32_t>(sizeof(kEnd) - at));
            std::memcpy(out + done, kEnd + at, n);
        }
        if (n == 0)
            break;
        done += n;
        s.Offset += n;
    }
    return done;
}

uint32_t SeekFrame(FileStream* stream, int32_t distance, SeekOrigin origin)
{
    FrameStream& s = Self(stream);
    int64_t base = origin == SeekOrigin::Start ? 0 : origin == SeekOrigin::Current ? int64_t(s.Offset) : s.Size;
    int64_t move = origin == SeekOrigin::Start ? int64_t{static_cast<uint32_t>(distance)} : distance;
    if (base + move < 0 || base + move > 0xFFFFFFFEll)
        return kSeekFailed;
    s.Offset = static_cast<uint64_t>(base + move);
    return static_cast<uint32_t>(s.Offset);
}

uint32_t FrameSize(FileStream* stream) { return Self(stream).Size; }

void SetSizeNothing(FileStream*, uint32_t) {}

uint32_t WriteNothing(FileStream*, const void*, uint32_t) { return 0; }

void CloseNothing(FileStream*) {}

constexpr StreamOperations kFrameStreamOperations = {
    SeekFrame, FrameSize, SetSizeNothing, ReadFrame, WriteNothing, CloseNothing, nullptr, nullptr,
};

void AppendChunk(FrameStream& s, const char (&type)[5], const uint8_t* data, uint32_t length)
{
    uint8_t* p = s.Prefix + s.PrefixSize;
    WriteBigEndian32(p, length);
    std::memcpy(p + 4, type, 4);
    std::memcpy(p + 8, data, length);
    WriteBigEndian32(p + 8 + length, UpdateCrc(0xFFFFFFFFu, p + 4, 4 + length) ^ 0xFFFFFFFFu);
    s.PrefixSize += 12 + length;
}

void BuildPrefix(FrameStream& s, const AnimationLayout& layout, const FrameControl& frame)
{
    std::memcpy(s.Prefix, kPngSignature.data(), 8);
    s.PrefixSize = 8;
    uint8_t header[13];
    std::memcpy(header, layout.HeaderData, 13);
    WriteBigEndian32(header, static_cast<uint32_t>(frame.Width));
    WriteBigEndian32(header + 4, static_cast<uint32_t>(frame.Height));
    AppendChunk(s, "IHDR", header, 13);
    std::memcpy(s.Prefix + s.PrefixSize, layout.Tables, layout.TablesSize);
    s.PrefixSize += layout.TablesSize;
}

// The stream's size, and where the data ends in the source: one walk over
// the data chunks' framing.
void MeasureData(FrameStream& s)
{
    uint64_t size = s.PrefixSize + sizeof(kEnd);
    s.DataEnd = s.FirstData;
    ChunkHead head;
    for (uint32_t index = 0; DataChunkAt(s, s.DataEnd, index, head); ++index) {
        size += ShownLength(s, head);
        s.DataEnd = NextChunk(head);
    }
    // The file's own positions are 32-bit, and its data is smaller than it.
    s.Size = static_cast<uint32_t>(std::min<uint64_t>(size, 0xFFFFFFFEu));
}

}  // namespace

FrameStream* OpenFrameStream(FileStream& source, const AnimationLayout& layout, const FrameControl& frame,
                             uint32_t firstData, bool frameData)
{
    FrameStream* s = Create<FrameStream>();
    if (!s)
        return nullptr;
    s->OperationTable = kFrameStreamOperations;
    s->Operations = &s->OperationTable;
    s->Source = &source;
    s->FirstData = firstData;
    s->FrameData = frameData;
    s->FirstSequence = frame.Sequence + 1;
    BuildPrefix(*s, layout, frame);
    MeasureData(*s);
    RewindToFirstChunk(*s);
    return s;
}
