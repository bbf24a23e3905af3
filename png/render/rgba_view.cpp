#include "png/render/rgba_view.h"

namespace {

// Pixels of 1, 4 and 8 bits are packed leftmost in the top bits.
uint8_t IndexAt(const uint8_t* row, int32_t x, uint16_t bitCount)
{
    int64_t bit = int64_t{x} * bitCount;
    int shift = 8 - bitCount - static_cast<int>(bit % 8);
    return static_cast<uint8_t>((row[bit / 8] >> shift) & ((1u << bitCount) - 1));
}

void ColourOf(const PngHeaderChunk& header, const uint8_t* row, int32_t x, uint8_t* rgba, uint8_t& index)
{
    uint16_t bitCount = header.BitCount();
    if (bitCount == 24) {
        const uint8_t* bgr = row + 3 * int64_t{x};
        rgba[0] = bgr[2];
        rgba[1] = bgr[1];
        rgba[2] = bgr[0];
        return;
    }
    index = IndexAt(row, x, bitCount);
    if (header.Format().Type == ColorType::GreyAlpha) {
        rgba[0] = rgba[1] = rgba[2] = index;
        return;
    }
    const std::array<uint8_t, 4>& entry = header.Info.Colors[index];
    rgba[0] = entry[2];
    rgba[1] = entry[1];
    rgba[2] = entry[0];
}

}  // namespace

bool ReadRgbaRow(const PngImage& image, int32_t y, uint8_t* out)
{
    if (!image.HasHeader())
        return false;
    const PngHeaderChunk& header = *image.Header();
    int32_t width = image.ReducedWidth();
    int32_t height = image.ReducedHeight();
    uint16_t bitCount = header.BitCount();
    if (!header.Pixels || y < 0 || y >= height || (bitCount != 24 && (bitCount == 0 || bitCount > 8)))
        return false;
    const uint8_t* row = header.Pixels + int64_t{header.BytesPerRow} * (height - 1 - y);
    const uint8_t* alphaRow = header.AlphaPlane ? header.AlphaPlane + int64_t{width} * y : nullptr;
    const PngTransparencyChunk* table = nullptr;
    if (header.Format().Type == ColorType::Palette && image.GetTransparencyMode() == TransparencyMode::alpha)
        table = image.Find<PngTransparencyChunk>("tRNS");
    for (int32_t x = 0; x < width; ++x) {
        uint8_t* rgba = out + 4 * int64_t{x};
        uint8_t index = 0;
        ColourOf(header, row, x, rgba, index);
        rgba[3] = alphaRow ? alphaRow[x] : table ? table->Alpha[index] : 255;
    }
    return true;
}
