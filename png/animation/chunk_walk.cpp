#include "png/animation/chunk_walk.h"

#include "png/animation/animation.h"

namespace {

constexpr uint32_t kMaxChunkLength = 0x7FFFFFFFu;

}  // namespace

bool ReadChunkHead(FileStream& stream, uint32_t position, ChunkHead& head)
{
    const uint64_t size = stream.Size();
    uint8_t frame[8];
    if (uint64_t{position} + 12 > size)
        return false;
    stream.SetPosition(position);
    if (stream.Read(frame, 8) != 8)
        return false;
    head.Position = position;
    head.Length = ReadBigEndian32(frame);
    head.Type = ChunkName::FromBytes(frame + 4);
    return head.Length <= kMaxChunkLength && uint64_t{position} + 12 + head.Length <= size;
}

bool ReadChunkStart(FileStream& stream, const ChunkHead& head, uint8_t* bytes, uint32_t count)
{
    if (count > head.Length)
        return false;
    stream.SetPosition(head.DataPosition());
    return stream.Read(bytes, count) == count;
}

FrameControl ParseFrameControl(const uint8_t* d)
{
    FrameControl f;
    f.Sequence = ReadBigEndian32(d);
    const uint32_t fields[4] = {ReadBigEndian32(d + 4), ReadBigEndian32(d + 8), ReadBigEndian32(d + 12),
                                ReadBigEndian32(d + 16)};
    for (uint32_t field : fields)
        if (field > 0x7FFFFFFFu)
            return FrameControl{};  // a width of 0: refused as an empty region
    f.Width = static_cast<int32_t>(fields[0]);
    f.Height = static_cast<int32_t>(fields[1]);
    f.X = static_cast<int32_t>(fields[2]);
    f.Y = static_cast<int32_t>(fields[3]);
    f.DelayNumerator = ReadBigEndian16(d + 20);
    f.DelayDenominator = ReadBigEndian16(d + 22);
    f.Dispose = static_cast<DisposeOp>(d[24]);
    f.Blend = static_cast<BlendOp>(d[25]);
    return f;
}
