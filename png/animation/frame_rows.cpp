#include "png/animation/frame_rows.h"

#include <cstdlib>
#include <cstring>

#include "png/image.h"
#include "winlayer/base/allocation.h"

namespace {

// Pixels of 1, 4 and 8 bits are packed leftmost in the top bits.
uint8_t IndexAt(const uint8_t* row, int32_t x, uint16_t bitCount)
{
    const int64_t bit = int64_t{x} * bitCount;
    const int shift = 8 - bitCount - static_cast<int>(bit % 8);
    return static_cast<uint8_t>((row[bit / 8] >> shift) & ((1u << bitCount) - 1));
}

// A key sample of the file at 8 bits, as the converters make one of the
// same depth; above 8 bits only the high byte stays, so 16-bit samples that
// share it with the key are see-through too.
int32_t KeyAt8Bits(uint16_t sample, uint8_t depth)
{
    if (depth == 16)
        return sample >> 8;
    const uint32_t top = (1u << depth) - 1;
    return sample > top ? -1 : static_cast<int32_t>(sample * 255 / top);
}

}  // namespace

FrameRows::~FrameRows() { std::free(Buffer); }

bool FrameRows::Open(const PngImage& frame)
{
    Header = frame.Header();
    if (!Header || !Header->Pixels || Header->Width <= 0)
        return false;
    Transparency = frame.Find<PngTransparencyChunk>("tRNS");
    const uint8_t type = Header->ColorType;
    if (Transparency && (type == 0 || type == 2) && Transparency->DataSize >= (type == 0 ? 2 : 6)) {
        // The key as the frame's buffers hold its colour: scaled, then
        // through the gamma table as every sample is.
        KeyColour = true;
        for (int c = 0; c < 3; ++c) {
            const int32_t sample = KeyAt8Bits(ReadBigEndian16(Transparency->Data + (type == 0 ? 0 : 2 * (2 - c))),
                                              Header->BitDepth);
            KeyColour = KeyColour && sample >= 0;
            Key[c] = sample >= 0 ? frame.GammaTable[sample] : 0;
        }
    }
    if (type != 3)
        Transparency = nullptr;
    Buffer = static_cast<uint8_t*>(AllocateBytes(4 * static_cast<size_t>(Header->Width)));
    return Buffer != nullptr;
}

const uint8_t* FrameRows::Row(int32_t y, const uint8_t*& alpha)
{
    const int32_t width = Header->Width;
    const uint8_t* row = Header->Pixels + int64_t{Header->BytesPerRow} * (Header->Height - 1 - y);
    uint8_t* colours = Buffer;
    uint8_t* alphas = Buffer + 3 * int64_t{width};
    alpha = Header->AlphaPlane ? Header->AlphaPlane + int64_t{width} * y : nullptr;
    const uint16_t bitCount = Header->BitCount();
    if (bitCount != 24) {
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t index = IndexAt(row, x, bitCount);
            std::memcpy(colours + 3 * x, Header->Info.Colors[index].data(), 3);
            if (Transparency)
                alphas[x] = Transparency->Alpha[index];
        }
        row = colours;
        if (Transparency)
            alpha = alphas;
    }
    if (KeyColour) {
        for (int32_t x = 0; x < width; ++x)
            alphas[x] = std::memcmp(row + 3 * x, Key, 3) == 0 ? 0 : 255;
        alpha = alphas;
    }
    return row;
}
