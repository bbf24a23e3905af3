#include "png/render/blend.h"

#include <algorithm>

#include "png/render/blend_kernels.h"
#include "png/format.h"

namespace {

// The table of blend_kernels.h for this picture, resolved once per call.
PaletteTable ResolvePalette(const BlendSource& source, bool greyRamp)
{
    PaletteTable table{};
    int32_t entries = greyRamp ? 256 : std::clamp(source.PaletteEntries, 0, 256);
    if (!source.Colors)
        entries = 0;
    for (int32_t i = 0; i < 256; ++i) {
        PaletteEntry& entry = table[i];
        if (i < entries)
            entry = {(*source.Colors)[i][0], (*source.Colors)[i][1], (*source.Colors)[i][2], 0};
        entry.Alpha = source.Alpha ? (*source.Alpha)[i] : 255;
    }
    return table;
}

inline void BlendPixel(uint8_t* d, uint8_t red, uint8_t green, uint8_t blue, uint8_t a)
{
    d[2] = BlendChannel(red, a, d[2]);
    d[1] = BlendChannel(green, a, d[1]);
    d[0] = BlendChannel(blue, a, d[0]);
}

void BlendRgbRow(uint8_t* work, const uint8_t* pixels, const uint8_t* alpha, int32_t width, const PaletteTable&)
{
    for (int32_t x = 0; x < width; ++x, work += 4, pixels += 3)
        BlendPixel(work, pixels[2], pixels[1], pixels[0], alpha[x]);
}

// The raw grey byte is the level: the grey ramp (and with it the gamma
// correction) is deliberately not consulted here.
void BlendGreyRow(uint8_t* work, const uint8_t* pixels, const uint8_t* alpha, int32_t width, const PaletteTable&)
{
    for (int32_t x = 0; x < width; ++x, work += 4)
        BlendPixel(work, pixels[x], pixels[x], pixels[x], alpha[x]);
}

// Index of pixel x in a row packed most significant bits first.
template <int kBits>
inline uint8_t PackedIndex(const uint8_t* row, int32_t x)
{
    constexpr int kPerByte = 8 / kBits;
    int shift = 8 - kBits * (x % kPerByte + 1);
    return static_cast<uint8_t>((row[x / kPerByte] >> shift) & ((1 << kBits) - 1));
}

// The walk stops at width, inside the last byte if need be, so a row's
// padding bits never draw.
template <int kBits>
void BlendPaletteRow(uint8_t* work, const uint8_t* pixels, const uint8_t*, int32_t width, const PaletteTable& palette)
{
    for (int32_t x = 0; x < width; ++x, work += 4) {
        const PaletteEntry& p = palette[PackedIndex<kBits>(pixels, x)];
        BlendPixel(work, p.Red, p.Green, p.Blue, p.Alpha);
    }
}

// Grey with alpha below 8 bits is no valid PNG (section 11.2.2), but the
// header is not refused: the packed sample goes through the grey ramp rather
// than reading a byte per pixel past the end of a short row.
template <int kBits>
void BlendPackedGreyRow(uint8_t* work, const uint8_t* pixels, const uint8_t* alpha, int32_t width,
                        const PaletteTable& ramp)
{
    for (int32_t x = 0; x < width; ++x, work += 4) {
        const PaletteEntry& p = ramp[PackedIndex<kBits>(pixels, x)];
        BlendPixel(work, p.Red, p.Green, p.Blue, alpha[x]);
    }
}

// Chosen once per call: a vector kernel where there is one, which gives
// these kernels' bytes.
RowKernel ChooseKernel(uint16_t bitCount, bool greyAlpha, const ProcessorFeatures& features)
{
#if defined(__i386__) || defined(__x86_64__)
    if (RowKernel vector = ChooseVectorBlendKernel(bitCount, greyAlpha, features))
        return vector;
#else
    (void)features;
#endif
    switch (bitCount) {
    case 24:
        return &BlendRgbRow;
    case 8:
        return greyAlpha ? &BlendGreyRow : &BlendPaletteRow<8>;
    case 4:
        return greyAlpha ? &BlendPackedGreyRow<4> : &BlendPaletteRow<4>;
    case 1:
        return greyAlpha ? &BlendPackedGreyRow<1> : &BlendPaletteRow<1>;
    default:
        return nullptr;
    }
}

bool Readable(const BlendSource& source, bool needsAlpha)
{
    if (source.Width <= 0 || source.Height <= 0 || !source.Pixels)
        return false;
    if (needsAlpha && !source.AlphaPlane)
        return false;
    int64_t rowBytes = (int64_t{source.Width} * source.BitCount + 7) / 8;
    return source.BytesPerRow >= rowBytes;
}

}  // namespace

void BlendRows(uint8_t* work, const BlendSource& source) { BlendRows(work, source, Features()); }

void BlendRows(uint8_t* work, const BlendSource& source, const ProcessorFeatures& features)
{
    bool greyAlpha = source.ColorType == static_cast<uint8_t>(ColorType::GreyAlpha);
    bool usesAlphaPlane = source.BitCount == 24 || greyAlpha;
    RowKernel kernel = ChooseKernel(source.BitCount, greyAlpha, features);
    if (!work || !kernel || !Readable(source, usesAlphaPlane))
        return;
    PaletteTable palette{};
    if (source.BitCount != 24 && !(greyAlpha && source.BitCount == 8))
        palette = ResolvePalette(source, greyAlpha);
    const int64_t width = source.Width;
    for (int64_t r = 0; r < source.Height; ++r) {
        const uint8_t* pixels = source.Pixels + (source.Height - 1 - r) * source.BytesPerRow;
        const uint8_t* alpha = usesAlphaPlane ? source.AlphaPlane + r * width : nullptr;
        kernel(work + r * width * 4, pixels, alpha, source.Width, palette);
    }
}
