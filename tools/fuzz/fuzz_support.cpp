#include "tools/fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "png/render/blend.h"
#include "png/render/rgba_view.h"
#include "winlayer/base/memory_stream.h"

namespace fuzz {

void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

bool IsModest(int64_t width, int64_t height)
{
    return width > 0 && height > 0 && static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <= kModestPixels;
}

namespace {

// Bytes per row of a bottom-up bitmap: whole 32-bit words.
int64_t DibRowBytes(int64_t width, int64_t bitCount) { return ((width * bitCount + 31) & ~int64_t{31}) / 8; }

void CheckHeaderBuffers(const PngImage& image)
{
    const PngHeaderChunk& header = *image.Header();
    const DibHeader& dib = header.Info.Header;
    uint16_t bitCount = dib.BitCount;
    Require(bitCount == 0 || bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24,
            "bit count of the pixel buffer");
    Require(header.Paletted == (bitCount != 0 && bitCount != 24), "Paletted agrees with the bit count");
    bool sizeValid = static_cast<uint32_t>(header.Width) <= 65535 && static_cast<uint32_t>(header.Height) <= 65535;
    if (!sizeValid || bitCount == 0) {
        Require(header.Pixels == nullptr && header.AlphaPlane == nullptr, "no buffers for a refused header");
        return;
    }
    Require(dib.Width == image.ReducedWidth() && dib.Height == image.ReducedHeight(),
            "bitmap header holds the reduced size");
    Require(header.BytesPerRow == DibRowBytes(image.ReducedWidth(), bitCount), "BytesPerRow of the reduced width");
    const bool hasAlpha = header.Format().Alpha;
    if (!hasAlpha)
        Require(header.AlphaPlane == nullptr, "an alpha plane only for formats with alpha");
    else if (header.Pixels != nullptr)
        Require(header.AlphaPlane != nullptr, "pixels and alpha plane come together");
}

// Entries a transparency chunk does not give are opaque, also when the chunk
// was refused: drawing reads the table whatever the load made of it.
void CheckTransparency(const PngImage& image)
{
    const auto* chunk = image.Find<PngTransparencyChunk>("tRNS");
    if (!chunk)
        return;
    int32_t given = chunk->DataSize <= 256 ? chunk->DataSize : 0;
    for (int32_t i = given; i < 256; ++i)
        Require(chunk->Alpha[static_cast<size_t>(i)] == 255, "alpha entries the chunk does not give are 255");
}

}  // namespace

LoadOutcome LoadAndCheck(PngImage& image, const uint8_t* data, size_t size)
{
    MemoryStream* stream = OpenMemoryStream(data, size);
    LoadOutcome outcome;
    outcome.Result = image.LoadFromStream(*stream);
    outcome.Status = image.Status;
    uint64_t rereads = stream->RereadBytes;
    Release(stream);
    Require(rereads == 0, "the loader read an input byte twice");
    Require(static_cast<uint8_t>(outcome.Status) <= 13, "status code in range");
    if (outcome.Result)
        Require(image.HasHeader() && image.FindChunk("IDAT") != nullptr, "true only once image data was met");
    else
        Require(outcome.Status != PngStatus::Ok, "a failed load says why");
    if (!image.StrictCrc)
        Require(outcome.Status != PngStatus::CrcMismatch, "CRC mismatches matter only under StrictCrc");
    if (image.Chunks->Count > 0)
        Require(image.HasHeader(), "item 0 is the header whenever the list holds anything");
    if (image.HasHeader())
        CheckHeaderBuffers(image);
    CheckTransparency(image);
    return outcome;
}

namespace {

struct Digest {
    uint64_t Value = 0xcbf29ce484222325u;
    void Add(const void* bytes, size_t count)
    {
        const auto* p = static_cast<const uint8_t*>(bytes);
        for (size_t i = 0; i < count; ++i)
            Value = (Value ^ p[i]) * 0x100000001b3u;
    }
};

}  // namespace

uint64_t DigestOf(const PngImage& image, const LoadOutcome& outcome)
{
    Digest digest;
    digest.Add(&outcome.Result, sizeof outcome.Result);
    digest.Add(&outcome.Status, sizeof outcome.Status);
    for (int32_t i = 0; i < image.Chunks->Count; ++i)
        digest.Add(static_cast<PngChunk*>(image.Chunks->Item(i))->Name.Bytes.data(), 4);
    digest.Add(image.GammaTable.data(), image.GammaTable.size());
    if (!image.HasHeader())
        return digest.Value;
    const PngHeaderChunk& header = *image.Header();
    digest.Add(&header.Info, sizeof header.Info);
    int64_t width = image.ReducedWidth(), height = image.ReducedHeight();
    if (!IsModest(width, height))
        return 0;
    if (header.Pixels)
        digest.Add(header.Pixels, static_cast<size_t>(header.BytesPerRow) * static_cast<size_t>(height));
    if (header.AlphaPlane)
        digest.Add(header.AlphaPlane, static_cast<size_t>(width) * static_cast<size_t>(height));
    return digest.Value;
}

namespace {

// The destination byte the blend found at offset i of the work buffer.
uint8_t Backdrop(size_t i) { return static_cast<uint8_t>(i * 131 + 7); }

// The blend's result for one row, pixel by pixel from the exact channel
// formula over the picture read back as RGBA: whatever kernel BlendRows
// chose must give these bytes. A row the picture cannot give stays as it was.
void CheckBlendedRow(const PngImage& image, const uint8_t* work, int32_t y, int32_t width, uint8_t* rgba)
{
    size_t rowStart = static_cast<size_t>(y) * static_cast<size_t>(width) * 4;
    bool drawn = ReadRgbaRow(image, y, rgba);
    for (int32_t x = 0; x < width; ++x) {
        size_t at = rowStart + static_cast<size_t>(x) * 4;
        const uint8_t* s = rgba + static_cast<size_t>(x) * 4;
        for (size_t c = 0; c < 3; ++c) {
            uint8_t expected = drawn ? BlendChannel(s[2 - c], s[3], Backdrop(at + c)) : Backdrop(at + c);
            Require(work[at + c] == expected, "the blend gives the exact formula for every pixel");
        }
        Require(work[at + 3] == Backdrop(at + 3), "the blend leaves the unused fourth byte alone");
    }
}

}  // namespace

void ViewAfterLoad(const PngImage& image)
{
    int32_t width = image.Width();
    int32_t height = image.Height();
    TransparencyMode mode = image.GetTransparencyMode();
    Require(static_cast<uint8_t>(mode) <= 2, "transparency mode in range");
    if (!image.HasHeader()) {
        Require(width == 0 && height == 0 && mode == TransparencyMode::none, "no header: nothing to draw");
        return;
    }
    if (mode != TransparencyMode::alpha || !IsModest(width, height))
        return;
    size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    std::vector<uint8_t> work(bytes);
    for (size_t i = 0; i < bytes; ++i)
        work[i] = Backdrop(i);
    BlendRows(work.data(), image);
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * 4);
    for (int32_t y = 0; y < height; ++y)
        CheckBlendedRow(image, work.data(), y, width, rgba.data());
}

}  // namespace fuzz
