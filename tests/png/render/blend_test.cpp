// The alpha-path kernel on plain memory: which source byte, which alpha and
// which destination byte meet, for every bit count and colour type.
#include "png/render/blend.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr int kGuardBytes = 64;

// A work buffer with guard bytes after it, so a kernel that writes one pixel
// too many is caught.
struct Work {
    std::vector<uint8_t> Bytes;
    int32_t Width, Height;

    Work(int32_t width, int32_t height) : Bytes(size_t(width) * height * 4 + kGuardBytes, kGuard), Width(width), Height(height)
    {
        for (size_t i = 0; i < size_t(width) * height * 4; ++i)
            Bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    uint8_t* Pixel(int32_t x, int32_t y) { return &Bytes[(size_t(y) * Width + x) * 4]; }
    bool GuardIntact() const
    {
        for (size_t i = Bytes.size() - kGuardBytes; i < Bytes.size(); ++i)
            if (Bytes[i] != kGuard)
                return false;
        return true;
    }
};

struct Picture {
    std::vector<uint8_t> Pixels;
    std::vector<uint8_t> Alpha;
    ColorTable Colors{};
    AlphaTable Transparency{};
    BlendSource Source;

    Picture(int32_t width, int32_t height, uint16_t bitCount, uint8_t colorType)
    {
        int64_t stride = ((int64_t{width} * bitCount + 31) & ~31) / 8;
        Pixels.assign(size_t(stride) * height, 0);
        Alpha.assign(size_t(width) * height, 255);
        Transparency.fill(255);
        Source = {Pixels.data(), stride, Alpha.data(), width, height, bitCount, colorType, &Colors, 0, nullptr};
    }
    // Row 0 is the top of the picture, stored last.
    uint8_t* Row(int32_t y) { return &Pixels[size_t(Source.Height - 1 - y) * Source.BytesPerRow]; }
    void SetAlpha(int32_t x, int32_t y, uint8_t a) { Alpha[size_t(y) * Source.Width + x] = a; }
    void SetColor(int index, uint8_t red, uint8_t green, uint8_t blue) { Colors[index] = {blue, green, red, 0}; }
};

TEST(BlendChannel, HalfAlphaMixesTheExampleValues) { EXPECT_EQ(BlendChannel(200, 128, 100), 150); }

TEST(BlendChannel, EndAlphasGiveSourceOrDestinationExactly)
{
    for (uint32_t s = 0; s < 256; ++s)
        for (uint32_t d = 0; d < 256; ++d) {
            ASSERT_EQ(BlendChannel(s, 0, d), d) << s << " " << d;
            ASSERT_EQ(BlendChannel(s, 255, d), s) << s << " " << d;
        }
}

TEST(BlendChannel, StaysWithinOneOfTheExactMixEverywhere)
{
    for (int s = 0; s < 256; ++s)
        for (int a = 0; a < 256; ++a)
            for (int d = 0; d < 256; d += 5) {
                double exact = (s * a + (255.0 - a) * d) / 255.0;
                ASSERT_LE(std::abs(BlendChannel(s, a, d) - exact), 1.0) << s << " " << a << " " << d;
            }
}

TEST(BlendRgbAlpha, ZeroAlphaLeavesEveryDestinationByte)
{
    Picture picture(7, 3, 24, 6);
    for (auto& byte : picture.Pixels)
        byte = 0xEE;
    std::fill(picture.Alpha.begin(), picture.Alpha.end(), 0);
    Work work(7, 3);
    std::vector<uint8_t> before = work.Bytes;
    BlendRows(work.Bytes.data(), picture.Source);
    EXPECT_EQ(work.Bytes, before);
}

TEST(BlendRgbAlpha, FullAlphaGivesThePictureColoursAndKeepsTheSpareByte)
{
    Picture picture(5, 2, 24, 6);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x) {
            uint8_t* p = picture.Row(y) + 3 * x;
            p[0] = uint8_t(10 * x + y), p[1] = uint8_t(100 + x), p[2] = uint8_t(200 + y);  // blue, green, red
        }
    Work work(5, 2);
    std::vector<uint8_t> before = work.Bytes;
    BlendRows(work.Bytes.data(), picture.Source);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x) {
            const uint8_t* d = work.Pixel(x, y);
            EXPECT_EQ(d[0], 10 * x + y);
            EXPECT_EQ(d[1], 100 + x);
            EXPECT_EQ(d[2], 200 + y);
            EXPECT_EQ(d[3], before[(size_t(y) * 5 + x) * 4 + 3]) << "the unused byte is never written";
        }
    EXPECT_TRUE(work.GuardIntact());
}

TEST(BlendRgbAlpha, TopRowPairsWithTheLastStoredRowAndTheFirstAlphaRow)
{
    Picture picture(1, 2, 24, 6);
    picture.Row(0)[2] = 200;  // red of the top pixel
    picture.Row(1)[2] = 0;
    picture.SetAlpha(0, 0, 128);
    picture.SetAlpha(0, 1, 0);
    Work work(1, 2);
    work.Pixel(0, 0)[2] = 100;
    work.Pixel(0, 1)[2] = 77;
    BlendRows(work.Bytes.data(), picture.Source);
    EXPECT_EQ(work.Pixel(0, 0)[2], 150);
    EXPECT_EQ(work.Pixel(0, 1)[2], 77);
}

TEST(BlendGreyAlpha, UsesTheRawGreyByteNotTheColourTable)
{
    Picture picture(3, 1, 8, 4);
    picture.Row(0)[0] = 200, picture.Row(0)[1] = 40, picture.Row(0)[2] = 255;
    for (int i = 0; i < 256; ++i)
        picture.SetColor(i, 1, 2, 3);  // a gamma-corrected ramp that must be ignored
    picture.SetAlpha(0, 0, 128);
    picture.SetAlpha(2, 0, 0);
    Work work(3, 1);
    for (int k = 0; k < 4; ++k)
        work.Pixel(0, 0)[k] = 100, work.Pixel(1, 0)[k] = 9, work.Pixel(2, 0)[k] = 50;
    BlendRows(work.Bytes.data(), picture.Source);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(work.Pixel(0, 0)[k], 150);
        EXPECT_EQ(work.Pixel(1, 0)[k], 40);
        EXPECT_EQ(work.Pixel(2, 0)[k], 50);
    }
}

TEST(BlendGreyAlpha, PackedSamplesNeverReadPastTheRow)
{
    // Colour type 4 at 1 bit is no valid PNG but reaches the blend; a byte
    // per pixel would read 33 bytes of a 8-byte row.
    Picture picture(33, 2, 1, 4);
    picture.SetColor(0, 0, 0, 0);
    picture.SetColor(1, 255, 255, 255);
    picture.Row(0)[4] = 0x80;  // pixel 32 of the top row
    Work work(33, 2);
    BlendRows(work.Bytes.data(), picture.Source);
    EXPECT_EQ(work.Pixel(32, 0)[1], 255);
    EXPECT_EQ(work.Pixel(31, 0)[1], 0);
    EXPECT_TRUE(work.GuardIntact());
}

TEST(BlendPalette, OneBitPictureTenWideChangesExactlyTenPixelsPerRow)
{
    Picture picture(10, 3, 1, 3);
    picture.SetColor(0, 0, 0, 0);
    picture.SetColor(1, 255, 255, 255);
    picture.Source.PaletteEntries = 2;
    picture.Source.Alpha = &picture.Transparency;
    for (int y = 0; y < 3; ++y) {
        picture.Row(y)[0] = 0xAA;  // pixels 0..7: 1,0,1,0,...
        picture.Row(y)[1] = 0x7F;  // pixel 8 = 0, pixel 9 = 1, padding bits all 1
        picture.Row(y)[2] = 0xFF;
    }
    Work work(10, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 10; ++x)
            for (int k = 0; k < 3; ++k)
                work.Pixel(x, y)[k] = 128;
    BlendRows(work.Bytes.data(), picture.Source);
    const int expected[10] = {255, 0, 255, 0, 255, 0, 255, 0, 0, 255};
    for (int y = 0; y < 3; ++y) {
        int changed = 0;
        for (int x = 0; x < 10; ++x) {
            EXPECT_EQ(work.Pixel(x, y)[0], expected[x]) << x << "," << y;
            changed += work.Pixel(x, y)[0] != 128;
        }
        EXPECT_EQ(changed, 10);
    }
    EXPECT_TRUE(work.GuardIntact());
}

TEST(BlendPalette, FourBitRowsTakeTheHighNibbleFirst)
{
    Picture picture(3, 1, 4, 3);  // bit depth 2 is held the same way
    picture.SetColor(1, 10, 20, 30);
    picture.SetColor(2, 40, 50, 60);
    picture.SetColor(3, 70, 80, 90);
    picture.Source.PaletteEntries = 4;
    picture.Row(0)[0] = 0x12;
    picture.Row(0)[1] = 0x3F;  // pixel 2 = 3, the low nibble is padding
    Work work(3, 1);
    BlendRows(work.Bytes.data(), picture.Source);
    EXPECT_EQ(work.Pixel(0, 0)[2], 10);
    EXPECT_EQ(work.Pixel(1, 0)[1], 50);
    EXPECT_EQ(work.Pixel(2, 0)[0], 90);
    EXPECT_TRUE(work.GuardIntact());
}

TEST(BlendPalette, EightBitEntriesTakeTheirTransparencyAlphaAndLaterOnesAreOpaque)
{
    Picture picture(3, 1, 8, 3);
    picture.SetColor(0, 200, 200, 200);
    picture.SetColor(1, 200, 200, 200);
    picture.SetColor(2, 200, 200, 200);
    picture.Source.PaletteEntries = 3;
    picture.Transparency[0] = 0;  // a two-entry chunk: 0, 128
    picture.Transparency[1] = 128;
    picture.Source.Alpha = &picture.Transparency;
    picture.Row(0)[0] = 0, picture.Row(0)[1] = 1, picture.Row(0)[2] = 2;
    Work work(3, 1);
    for (int x = 0; x < 3; ++x)
        for (int k = 0; k < 3; ++k)
            work.Pixel(x, 0)[k] = 100;
    BlendRows(work.Bytes.data(), picture.Source);
    EXPECT_EQ(work.Pixel(0, 0)[1], 100);
    EXPECT_EQ(work.Pixel(1, 0)[1], 150);
    EXPECT_EQ(work.Pixel(2, 0)[1], 200);
}

TEST(BlendPalette, IndexBeyondThePaletteBlendsBlackWithItsAlpha)
{
    Picture picture(2, 1, 8, 3);
    picture.SetColor(5, 250, 250, 250);  // in the table but not in the palette
    picture.Source.PaletteEntries = 5;
    picture.Transparency[5] = 128;
    picture.Source.Alpha = &picture.Transparency;
    picture.Row(0)[0] = 5, picture.Row(0)[1] = 200;
    Work work(2, 1);
    for (int x = 0; x < 2; ++x)
        for (int k = 0; k < 3; ++k)
            work.Pixel(x, 0)[k] = 200;
    BlendRows(work.Bytes.data(), picture.Source);
    EXPECT_EQ(work.Pixel(0, 0)[0], BlendChannel(0, 128, 200));
    EXPECT_EQ(work.Pixel(1, 0)[2], 0);
}

TEST(BlendUnreadable, OtherBitCountsLeaveTheDestination)
{
    for (uint16_t bitCount : {0, 2, 16, 32}) {
        Picture picture(4, 2, bitCount ? bitCount : 8, 3);
        picture.Source.BitCount = bitCount;
        Work work(4, 2);
        std::vector<uint8_t> before = work.Bytes;
        BlendRows(work.Bytes.data(), picture.Source);
        EXPECT_EQ(work.Bytes, before) << bitCount;
    }
}

TEST(BlendUnreadable, MissingOrShortBuffersLeaveTheDestination)
{
    Work work(8, 2);
    std::vector<uint8_t> before = work.Bytes;
    Picture noAlpha(8, 2, 24, 6);
    noAlpha.Source.AlphaPlane = nullptr;
    BlendRows(work.Bytes.data(), noAlpha.Source);
    Picture shortRows(8, 2, 24, 6);
    shortRows.Source.BytesPerRow = 23;
    BlendRows(work.Bytes.data(), shortRows.Source);
    Picture noPixels(8, 2, 8, 3);
    noPixels.Source.Pixels = nullptr;
    BlendRows(work.Bytes.data(), noPixels.Source);
    EXPECT_EQ(work.Bytes, before);
}

}  // namespace
