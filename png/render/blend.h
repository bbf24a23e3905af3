// The blend kernel of the alpha path: plain memory in, plain memory out, no
// platform calls, so it builds and is tested everywhere.
#pragma once

#include <array>
#include <cstdint>

class PngImage;
struct ProcessorFeatures;

// +255 then >>8, not /255: a = 255 must give s and a = 0 must give d exactly,
// and no division belongs in the inner loop. Never above 255 for inputs 0-255.
constexpr uint8_t BlendChannel(uint32_t s, uint32_t a, uint32_t d)
{
    return static_cast<uint8_t>((s * a + (255 - a) * d + 255) >> 8);
}

using ColorTable = std::array<std::array<uint8_t, 4>, 256>;  // blue, green, red, 0
using AlphaTable = std::array<uint8_t, 256>;

// What the blend reads of a decoded picture, gathered once per call.
struct BlendSource {
    const uint8_t* Pixels = nullptr;      // rows bottom-up, BytesPerRow apart
    int64_t BytesPerRow = 0;
    const uint8_t* AlphaPlane = nullptr;  // rows top-down, Width bytes apart
    int32_t Width = 0;
    int32_t Height = 0;
    uint16_t BitCount = 0;                // of the pixel buffer: 1, 4, 8 or 24
    uint8_t ColorType = 0;
    const ColorTable* Colors = nullptr;   // palette or grey ramp
    int32_t PaletteEntries = 0;           // indices from here on blend black
    const AlphaTable* Alpha = nullptr;    // palette alphas; none: all opaque
};

// The image's buffers and its "PLTE" and "tRNS" tables; Width 0 (nothing to
// blend) without a header. The size is that of the buffers themselves.
BlendSource BlendSourceOf(const PngImage& image);

// Blends the picture over work: Width x Height pixels of 4 bytes (blue,
// green, red, unused), rows top-down without padding. The unused byte is
// never written. Pictures with a bit count or buffers the blend cannot read
// safely leave work as it is.
void BlendRows(uint8_t* work, const BlendSource& source);
// The same with the kernels these processor features allow (all give the
// same bytes); the one above uses this processor's.
void BlendRows(uint8_t* work, const BlendSource& source, const ProcessorFeatures& features);
void BlendRows(uint8_t* work, const PngImage& image);
