#include "png/rows/converters.h"

#include <cstring>

#include "png/rows/converters_kernels.h"
#include "png/format.h"

namespace {

using namespace convert;

// The PNG row packs 1-, 4- and 8-bit samples as the bitmap row does.
void PlainCopy(const ConvertParams& c, const uint8_t* row, uint8_t* pixels, uint8_t*)
{
    std::memcpy(pixels, row, static_cast<size_t>(c.RowLength));
}

// Whole source bytes, so a short last byte's padding samples land in the
// row's own padding. Scale 5 makes grey v the 4-bit level 5v (0, 5, 10, 15:
// the same grey as the 2-bit level); nibble-wise, 5 * (16 i0 + i1) is
// 16 * 5 i0 + 5 i1 without carries since 5 * 3 < 16.
template <int Scale>
void PlainTwoToFour(const ConvertParams& c, const uint8_t* row, uint8_t* pixels, uint8_t*)
{
    const auto& table = TwoBitExpansion();
    for (int32_t i = 0; i < c.RowLength; ++i) {
        const auto& pair = table[row[i]];
        pixels[0] = static_cast<uint8_t>(pair[0] * Scale);
        pixels[1] = static_cast<uint8_t>(pair[1] * Scale);
        pixels += 2;
    }
}

// Reduced decode of packed rows, which the full-size converters cannot do:
// every 2^s-th sample, written at the destination's depth, W' pixels. Whole
// destination bytes are stored, so the result does not depend on what the
// row held before, and the last byte's spare bits are 0.
template <int SourceDepth, int TargetDepth, int Scale>
void PlainReducedPacked(const ConvertParams& c, const uint8_t* row, uint8_t* pixels, uint8_t*)
{
    constexpr int kMask = (1 << SourceDepth) - 1;
    constexpr int kPerByte = 8 / TargetDepth;
    const int64_t stride = int64_t{SourceDepth} << c.ReductionShift;
    int64_t bit = 0;
    int filled = 0;
    uint8_t byte = 0;
    for (int32_t k = 0; k < c.DecodeWidth; ++k, bit += stride) {
        int v = (row[bit >> 3] >> (8 - SourceDepth - (bit & 7))) & kMask;
        byte = static_cast<uint8_t>(byte | ((v * Scale) << (8 - TargetDepth * (filled + 1))));
        if (++filled == kPerByte) {
            *pixels++ = byte;
            byte = 0;
            filled = 0;
        }
    }
    if (filled > 0)
        *pixels = byte;
}

// Samples are ORed in: the buffer starts zeroed and every column belongs to
// exactly one pass, so the OR sets precisely this pixel's bits.
template <int Depth>
void InterlacedPacked(const ConvertParams& c, int32_t pass, const uint8_t* row, uint8_t* pixels, uint8_t*)
{
    constexpr int kMask = (1 << Depth) - 1;
    const Placement place = PlaceInPass(c, pass);
    int64_t x = place.First;
    for (int64_t k = 0; k < place.Count; ++k, x += place.Step) {
        int64_t from = k * Depth, to = x * Depth;
        int v = (row[from >> 3] >> (8 - Depth - (from & 7))) & kMask;
        pixels[to >> 3] = static_cast<uint8_t>(pixels[to >> 3] | (v << (8 - Depth - (to & 7))));
    }
}

template <int Scale>
void InterlacedTwoToFour(const ConvertParams& c, int32_t pass, const uint8_t* row, uint8_t* pixels, uint8_t*)
{
    const Placement place = PlaceInPass(c, pass);
    int64_t x = place.First;
    for (int64_t k = 0; k < place.Count; ++k, x += place.Step) {
        int v = ((row[k >> 2] >> (6 - 2 * (k & 3))) & 3) * Scale;
        pixels[x >> 1] = static_cast<uint8_t>(pixels[x >> 1] | ((x & 1) ? v : v << 4));
    }
}

PlainConverter ChoosePlainPacked(uint8_t colorType, uint8_t bitDepth, int32_t shift)
{
    const bool grey = static_cast<ColorType>(colorType) == ColorType::Grey;
    switch (bitDepth) {
    case 1:
        return shift == 0 ? PlainCopy : PlainReducedPacked<1, 1, 1>;
    case 2:
        if (shift == 0)
            return grey ? PlainTwoToFour<5> : PlainTwoToFour<1>;
        return grey ? PlainReducedPacked<2, 4, 5> : PlainReducedPacked<2, 4, 1>;
    case 4:
        return shift == 0 ? PlainCopy : PlainReducedPacked<4, 4, 1>;
    case 8:
        return shift == 0 ? PlainCopy : PlainPixels<Grey8>;
    case 16:
        return PlainPixels<Grey16>;
    }
    return nullptr;
}

InterlacedConverter ChooseInterlacedPacked(uint8_t colorType, uint8_t bitDepth)
{
    const bool grey = static_cast<ColorType>(colorType) == ColorType::Grey;
    switch (bitDepth) {
    case 1:
        return InterlacedPacked<1>;
    case 2:
        return grey ? InterlacedTwoToFour<5> : InterlacedTwoToFour<1>;
    case 4:
        return InterlacedPacked<4>;
    case 8:
        return InterlacedPacked<8>;
    case 16:
        return InterlacedPixels<Grey16>;
    }
    return nullptr;
}

// Colour types 2, 4 and 6: depths 8 and 16 only. Index 0 is depth 8.
template <typename Converter>
struct WideFormats {
    Converter Rgb[2], GreyAlpha[2], RgbAlpha[2];
};

constexpr WideFormats<PlainConverter> kPlainWide = {
    {PlainPixels<Rgb8Ungamma>, PlainPixels<Rgb16>},
    {PlainPixels<GreyAlpha8>, PlainPixels<GreyAlpha16>},
    {PlainPixels<Rgba8>, PlainPixels<Rgba16>},
};

constexpr WideFormats<InterlacedConverter> kInterlacedWide = {
    {InterlacedPixels<Rgb8>, InterlacedPixels<Rgb16>},
    {InterlacedPixels<GreyAlpha8>, InterlacedPixels<GreyAlpha16>},
    {InterlacedPixels<Rgba8>, InterlacedPixels<Rgba16>},
};

template <typename Converter>
Converter ChooseWide(const WideFormats<Converter>& formats, uint8_t colorType, uint8_t bitDepth)
{
    if (bitDepth != 8 && bitDepth != 16)
        return nullptr;
    const int index = bitDepth == 16 ? 1 : 0;
    switch (static_cast<ColorType>(colorType)) {
    case ColorType::Rgb:
        return formats.Rgb[index];
    case ColorType::GreyAlpha:
        return formats.GreyAlpha[index];
    case ColorType::RgbAlpha:
        return formats.RgbAlpha[index];
    default:
        return nullptr;
    }
}

}  // namespace

PlainConverter ChoosePlainConverter(uint8_t colorType, uint8_t bitDepth, int32_t shift)
{
    const PixelFormat format = DescribePixelFormat(colorType, bitDepth);
    if (!format.Valid)
        return nullptr;
    if (format.GreyOrPalette())
        return ChoosePlainPacked(colorType, bitDepth, shift);
    return ChooseWide(kPlainWide, colorType, bitDepth);
}

InterlacedConverter ChooseInterlacedConverter(uint8_t colorType, uint8_t bitDepth)
{
    const PixelFormat format = DescribePixelFormat(colorType, bitDepth);
    if (!format.Valid)
        return nullptr;
    if (format.GreyOrPalette())
        return ChooseInterlacedPacked(colorType, bitDepth);
    return ChooseWide(kInterlacedWide, colorType, bitDepth);
}

int64_t PixelRowSpan(const PixelFormat& format, bool interlaced, const ConvertParams& params)
{
    if (!interlaced && params.ReductionShift == 0 && format.GreyOrPalette() && format.BitDepth <= 8)
        return int64_t{params.RowLength} * (format.BitDepth == 2 ? 2 : 1);
    return (int64_t{params.DecodeWidth} * format.BitmapBits + 7) / 8;
}

const std::array<std::array<uint8_t, 2>, 256>& TwoBitExpansion()
{
    // Built once per process on first use and kept; a thread-safe static, so
    // a racing first use cannot see it half built.
    static const std::array<std::array<uint8_t, 2>, 256> table = [] {
        std::array<std::array<uint8_t, 2>, 256> built{};
        for (int i = 0; i < 256; ++i) {
            built[i][0] = static_cast<uint8_t>(((i >> 6) & 3) << 4 | ((i >> 4) & 3));
            built[i][1] = static_cast<uint8_t>(((i >> 2) & 3) << 4 | (i & 3));
        }
        return built;
    }();
    return table;
}
