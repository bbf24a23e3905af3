#include "tests/support/row_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "png/rows/row_loops.h"

namespace pngtest {

namespace {

// Channel c of pixel x: the sample itself below 8 bits, else its first byte.
uint32_t Sample(const Picture& picture, uint32_t x, uint32_t y, uint32_t c)
{
    const Bytes& row = picture.Rows[y];
    const uint32_t depth = picture.BitDepth;
    const uint64_t bit = (uint64_t{x} * Channels(picture.ColorType) + c) * depth;
    if (depth >= 8)
        return row[bit / 8];
    return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
}

}  // namespace

uint32_t ExpectedPixel(const Picture& picture, uint32_t x, uint32_t y)
{
    switch (picture.ColorType) {
    case 2:
    case 6:
        return Sample(picture, x, y, 0) << 16 | Sample(picture, x, y, 1) << 8 | Sample(picture, x, y, 2);
    case 0:
        return picture.BitDepth == 2 ? 5 * Sample(picture, x, y, 0) : Sample(picture, x, y, 0);
    default:
        return Sample(picture, x, y, 0);
    }
}

uint8_t ExpectedAlpha(const Picture& picture, uint32_t x, uint32_t y)
{
    return static_cast<uint8_t>(Sample(picture, x, y, Channels(picture.ColorType) - 1));
}

uint32_t DeliveredPixel(const PngHeaderChunk& header, int32_t x, int32_t y)
{
    const int32_t height = header.Info.Header.Height;
    const uint8_t* row = header.Pixels + int64_t{header.BytesPerRow} * (height - 1 - y);
    switch (header.BitCount()) {
    case 24:
        return uint32_t{row[3 * x + 2]} << 16 | uint32_t{row[3 * x + 1]} << 8 | row[3 * x];
    case 8:
        return row[x];
    case 4:
        return (row[x / 2] >> (x % 2 ? 0 : 4)) & 15;
    default:
        return (row[x / 8] >> (7 - x % 8)) & 1;
    }
}

uint8_t DeliveredAlpha(const PngHeaderChunk& header, int32_t x, int32_t y)
{
    return header.AlphaPlane[int64_t{header.Info.Header.Width} * y + x];
}

void ExpectDecoded(const PngImage& image, const Picture& picture, int32_t shift)
{
    ASSERT_TRUE(image.HasHeader());
    const PngHeaderChunk& header = *image.Header();
    ASSERT_NE(header.Pixels, nullptr);
    const bool alpha = picture.ColorType == 4 || picture.ColorType == 6;
    ASSERT_EQ(header.AlphaPlane != nullptr, alpha);
    for (int32_t y = 0; y < image.ReducedHeight(); ++y) {
        for (int32_t x = 0; x < image.ReducedWidth(); ++x) {
            const uint32_t sx = static_cast<uint32_t>(x) << shift, sy = static_cast<uint32_t>(y) << shift;
            ASSERT_EQ(DeliveredPixel(header, x, y), ExpectedPixel(picture, sx, sy)) << "pixel " << x << ", " << y;
            if (alpha) {
                ASSERT_EQ(DeliveredAlpha(header, x, y), ExpectedAlpha(picture, sx, sy)) << "alpha " << x << ", " << y;
            }
        }
    }
}

bool BuffersAreZero(const PngHeaderChunk& header)
{
    const int64_t pixelBytes = int64_t{header.BytesPerRow} * header.Info.Header.Height;
    const int64_t alphaBytes = int64_t{header.Info.Header.Width} * header.Info.Header.Height;
    const auto zero = [](const uint8_t* p, int64_t n) { return p == nullptr || std::all_of(p, p + n, [](uint8_t b) { return b == 0; }); };
    return zero(header.Pixels, pixelBytes) && zero(header.AlphaPlane, header.AlphaPlane ? alphaBytes : 0);
}

void ProgressLog::Attach(PngImage& image)
{
    image.OnProgress.Context = this;
    image.OnProgress.Code = [](void* context, PngImage*, uint8_t pass, int32_t lastPass, int32_t percent) {
        ProgressLog& log = *static_cast<ProgressLog*>(context);
        const size_t index = log.Calls.size();
        log.Calls.push_back({pass, lastPass, percent});
        return std::find(log.RefuseAt.begin(), log.RefuseAt.end(), index) == log.RefuseAt.end();
    };
}

void ScanlineLog::Attach(PngImage& image)
{
    image.OnScanline.Context = this;
    image.OnScanline.Code = [](void* context, PngImage*, int32_t row, int32_t& width, int32_t& height,
                               uint8_t*& pixelRow, uint8_t*& alphaRow, bool& stop) {
        ScanlineLog& log = *static_cast<ScanlineLog*>(context);
        log.Calls.push_back({row, width, height});
        if (log.Pixels && width > 0) {
            pixelRow = log.Pixels + row * log.Stride;
            alphaRow = log.Alpha ? log.Alpha + row * log.AlphaStride : nullptr;
        }
        if (log.SpoilSize)
            width = height = 0;
        stop = static_cast<int64_t>(log.Calls.size()) - 1 == log.StopAt;
    };
}

LoopRig::LoopRig(const Picture& picture, uint8_t reduction)
{
    Image->Clear();
    Image->Reduction = reduction;
    Image->InterlaceMethod = picture.Interlace;
    Header = static_cast<PngHeaderChunk*>(Image->CreateChunk(ChunkName("IHDR")));
    Header->Width = static_cast<int32_t>(picture.Width);
    Header->Height = static_cast<int32_t>(picture.Height);
    Header->BitDepth = picture.BitDepth;
    Header->ColorType = picture.ColorType;
    Header->InterlaceMethod = picture.Interlace;
    Header->CreateImageBuffers();
    Chunk = static_cast<PngImageDataChunk*>(Image->CreateChunk(ChunkName("IDAT")));
    Chunk->DecodeWidth = Image->ReducedWidth();
    Chunk->DecodeHeight = Image->ReducedHeight();
    const RowInfo info = Image->GetRowInfo();
    Chunk->RowLength = info.RowLength;
    Chunk->FilterStep = info.FilterStep;
    const size_t size = static_cast<size_t>(info.RowLength) + 12;
    buffers_.assign(2 * size, 0);
    Chunk->RowBuffers = {buffers_.data(), buffers_.data() + size};
    Chunk->CurrentIndex = 1;
    Stream = FilterPicture(picture);
}

namespace {

int32_t ReadFromRig(void* context, uint8_t* buffer, int32_t count)
{
    LoopRig& rig = *static_cast<LoopRig*>(context);
    rig.Reads.push_back(count);
    const size_t n = std::min(static_cast<size_t>(count), rig.Stream.size() - rig.Position);
    std::memcpy(buffer, rig.Stream.data() + rig.Position, n);
    rig.Position += n;
    return static_cast<int32_t>(n);
}

}  // namespace

void LoopRig::RunPlain() { RunPlainRows(*Chunk, RowSource{ReadFromRig, this}); }

void LoopRig::RunAdam7() { RunAdam7Rows(*Chunk, RowSource{ReadFromRig, this}); }

}  // namespace pngtest
