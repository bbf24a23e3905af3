// Row converters of both families on hand-made rows: byte order, gamma only
// where it belongs, alpha split off unmapped, 16-bit high bytes, 2-bit
// widening, packed ORs, placement under reduction, and nothing written past
// the decode width.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "png/rows/converters.h"
#include "tests/support/png_writer.h"
#include "tests/support/row_harness.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kGuard = 0xCC;

// Not the identity, so every mapped sample shows: g[i] = 255 - i.
const std::array<uint8_t, 256> kInverse = [] {
    std::array<uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<uint8_t>(255 - i);
    return table;
}();

uint8_t G(int v) { return kInverse[v]; }

ConvertParams Params(int32_t decodeWidth, int32_t shift, const Bytes& row, int32_t sourceWidth)
{
    return {decodeWidth, shift, static_cast<int32_t>(row.size()), sourceWidth, kInverse.data()};
}

// Destination rows with guard bytes after them; the row itself starts as fill.
struct Target {
    Bytes Pixels, Alpha;
    Target(size_t pixelBytes, size_t alphaBytes, uint8_t fill = kGuard)
        : Pixels(pixelBytes + 8, kGuard), Alpha(alphaBytes + 8, kGuard)
    {
        std::fill_n(Pixels.begin(), pixelBytes, fill);
        std::fill_n(Alpha.begin(), alphaBytes, fill);
    }
    Bytes PixelBytes(size_t n) const { return {Pixels.begin(), Pixels.begin() + n}; }
    Bytes AlphaBytes(size_t n) const { return {Alpha.begin(), Alpha.begin() + n}; }
};

Target Plain(uint8_t colorType, uint8_t depth, const ConvertParams& params, const Bytes& row, size_t pixelBytes,
             size_t alphaBytes = 0, uint8_t fill = kGuard)
{
    Target target(pixelBytes, alphaBytes, fill);
    PlainConverter convert = ChoosePlainConverter(colorType, depth, params.ReductionShift);
    EXPECT_NE(convert, nullptr);
    if (convert)
        convert(params, row.data(), target.Pixels.data(), target.Alpha.data());
    return target;
}

Target Interlaced(uint8_t colorType, uint8_t depth, int32_t pass, const ConvertParams& params, const Bytes& row,
                  size_t pixelBytes, size_t alphaBytes = 0, uint8_t fill = 0)
{
    Target target(pixelBytes, alphaBytes, fill);
    InterlacedConverter convert = ChooseInterlacedConverter(colorType, depth);
    EXPECT_NE(convert, nullptr);
    if (convert)
        convert(params, pass, row.data(), target.Pixels.data(), target.Alpha.data());
    return target;
}

void ExpectGuardsIntact(const Target& target, size_t pixelBytes, size_t alphaBytes)
{
    for (size_t i = pixelBytes; i < target.Pixels.size(); ++i)
        EXPECT_EQ(target.Pixels[i], kGuard) << "pixel byte " << i << " lies past the row";
    for (size_t i = alphaBytes; i < target.Alpha.size(); ++i)
        EXPECT_EQ(target.Alpha[i], kGuard) << "alpha byte " << i << " lies past the row";
}

TEST(Converters, TruecolourAlpha8MapsColourButNotAlpha)
{
    const Bytes row = {10, 20, 30, 128, 40, 50, 60, 0};
    const Bytes pixels = {G(30), G(20), G(10), G(60), G(50), G(40)};
    const Target plain = Plain(6, 8, Params(2, 0, row, 2), row, 6, 2);
    EXPECT_EQ(plain.PixelBytes(6), pixels);
    EXPECT_EQ(plain.AlphaBytes(2), (Bytes{128, 0}));
    ExpectGuardsIntact(plain, 6, 2);
    // Pass 6 of a 2-pixel-wide picture holds both columns of its rows.
    const Target interlaced = Interlaced(6, 8, 6, Params(2, 0, row, 2), row, 6, 2);
    EXPECT_EQ(interlaced.PixelBytes(6), pixels);
    EXPECT_EQ(interlaced.AlphaBytes(2), (Bytes{128, 0}));
    ExpectGuardsIntact(interlaced, 6, 2);
}

TEST(Converters, SixteenBitSamplesKeepOnlyTheirHighBytes)
{
    const Bytes rgba = {1, 0xFF, 2, 0xFF, 3, 0xFF, 128, 0xFF};
    for (const Target& t : {Plain(6, 16, Params(1, 0, rgba, 1), rgba, 3, 1),
                            Interlaced(6, 16, 0, Params(1, 0, rgba, 1), rgba, 3, 1)}) {
        EXPECT_EQ(t.PixelBytes(3), (Bytes{G(3), G(2), G(1)}));
        EXPECT_EQ(t.AlphaBytes(1), Bytes{128});
        ExpectGuardsIntact(t, 3, 1);
    }
    const Bytes rgb = {7, 0x80, 8, 0x80, 9, 0x80};
    for (const Target& t : {Plain(2, 16, Params(1, 0, rgb, 1), rgb, 3),
                            Interlaced(2, 16, 0, Params(1, 0, rgb, 1), rgb, 3)})
        EXPECT_EQ(t.PixelBytes(3), (Bytes{G(9), G(8), G(7)}));
    const Bytes greyAlpha = {200, 0xFF, 100, 0xFF, 5, 1, 6, 1};
    for (const Target& t : {Plain(4, 16, Params(2, 0, greyAlpha, 2), greyAlpha, 2, 2),
                            Interlaced(4, 16, 6, Params(2, 0, greyAlpha, 2), greyAlpha, 2, 2)}) {
        EXPECT_EQ(t.PixelBytes(2), (Bytes{200, 5})) << "grey indexes the ramp: no gamma";
        EXPECT_EQ(t.AlphaBytes(2), (Bytes{100, 6}));
    }
}

TEST(Converters, PlainTruecolour8IsTheOnlyTruecolourLeftUnmapped)
{
    const Bytes row = {10, 20, 30, 40, 50, 60};
    EXPECT_EQ(Plain(2, 8, Params(2, 0, row, 2), row, 6).PixelBytes(6), (Bytes{30, 20, 10, 60, 50, 40}));
    EXPECT_EQ(Interlaced(2, 8, 6, Params(2, 0, row, 2), row, 6).PixelBytes(6),
              (Bytes{G(30), G(20), G(10), G(60), G(50), G(40)}));
}

TEST(Converters, GreyFormatsCopyIndicesWithoutGamma)
{
    const Bytes greyAlpha = {1, 2, 3, 4, 5, 6};
    const Target plain = Plain(4, 8, Params(3, 0, greyAlpha, 3), greyAlpha, 3, 3);
    EXPECT_EQ(plain.PixelBytes(3), (Bytes{1, 3, 5})) << "pixel k takes byte 2k";
    EXPECT_EQ(plain.AlphaBytes(3), (Bytes{2, 4, 6})) << "and its alpha byte 2k + 1";
    const Bytes grey16 = {0x12, 0x34, 0xAB, 0xCD};
    for (uint8_t colorType : {0, 3}) {
        EXPECT_EQ(Plain(colorType, 16, Params(2, 0, grey16, 2), grey16, 2).PixelBytes(2), (Bytes{0x12, 0xAB}));
        EXPECT_EQ(Interlaced(colorType, 16, 6, Params(2, 0, grey16, 2), grey16, 2).PixelBytes(2),
                  (Bytes{0x12, 0xAB}));
    }
}

TEST(Converters, PlainPackedRowsAreCopiedWhole)
{
    const Bytes row = {0xDE, 0xAD, 0xBE};
    for (uint8_t depth : {1, 4, 8}) {
        const Target t = Plain(3, depth, Params(24 / depth, 0, row, 24 / depth), row, 3);
        EXPECT_EQ(t.PixelBytes(3), row) << "depth " << int{depth};
        ExpectGuardsIntact(t, 3, 0);
    }
}

TEST(Converters, TwoBitSamplesWidenToFourBits)
{
    const Bytes row = {0x1B};  // samples 0, 1, 2, 3
    const Bytes grey = {0x05, 0xAF}, palette = {0x01, 0x23};
    EXPECT_EQ(Plain(0, 2, Params(4, 0, row, 4), row, 2).PixelBytes(2), grey);
    EXPECT_EQ(Plain(3, 2, Params(4, 0, row, 4), row, 2).PixelBytes(2), palette);
    EXPECT_EQ(Interlaced(0, 2, 6, Params(4, 0, row, 4), row, 2).PixelBytes(2), grey);
    EXPECT_EQ(Interlaced(3, 2, 6, Params(4, 0, row, 4), row, 2).PixelBytes(2), palette);
    // Pass 5 puts its pixels in odd columns: the low nibbles.
    const Bytes odd = {0xE0};  // samples 3, 2
    EXPECT_EQ(Interlaced(0, 2, 5, Params(4, 0, odd, 2), odd, 2).PixelBytes(2), (Bytes{0x0F, 0x0A}));
    EXPECT_EQ(Interlaced(3, 2, 5, Params(4, 0, odd, 2), odd, 2).PixelBytes(2), (Bytes{0x03, 0x02}));
}

TEST(Converters, TwoBitExpansionTableSpellsEachSampleInFourBits)
{
    const auto& table = TwoBitExpansion();
    EXPECT_EQ(table[0x00], (std::array<uint8_t, 2>{0x00, 0x00}));
    EXPECT_EQ(table[0x1B], (std::array<uint8_t, 2>{0x01, 0x23}));
    EXPECT_EQ(table[0xE4], (std::array<uint8_t, 2>{0x32, 0x10}));
    EXPECT_EQ(table[0xFF], (std::array<uint8_t, 2>{0x33, 0x33}));
    EXPECT_EQ(&table, &TwoBitExpansion()) << "one table for the process";
}

TEST(Converters, OneBitInterlacedThreeWideFillsTheFirstByteByPasses)
{
    // All samples 1. Pass 0 has column 0, pass 1 none, pass 3 column 2,
    // pass 5 column 1 (pass widths 1, 0, 1, 1 for W = 3).
    const Bytes ones = {0x80};
    Target t(4, 0, 0);
    InterlacedConverter convert = ChooseInterlacedConverter(0, 1);
    ASSERT_NE(convert, nullptr);
    convert(Params(3, 0, ones, 1), 0, ones.data(), t.Pixels.data(), nullptr);
    EXPECT_EQ(t.Pixels[0], 0x80);
    convert(Params(3, 0, ones, 0), 1, ones.data(), t.Pixels.data(), nullptr);
    EXPECT_EQ(t.Pixels[0], 0x80);
    convert(Params(3, 0, ones, 1), 3, ones.data(), t.Pixels.data(), nullptr);
    EXPECT_EQ(t.Pixels[0], 0xA0);
    convert(Params(3, 0, ones, 1), 5, ones.data(), t.Pixels.data(), nullptr);
    EXPECT_EQ(t.Pixels[0], 0xE0);
    ExpectGuardsIntact(t, 4, 0);
}

TEST(Converters, InterlacedPackedSamplesAreOredIntoPlace)
{
    // Pass 5 of a 4-pixel-wide 4-bit row: columns 1 and 3, low nibbles; the
    // high nibbles already set by earlier passes stay.
    const Bytes row = {0xAB};
    EXPECT_EQ(Interlaced(3, 4, 5, Params(4, 0, row, 2), row, 2, 0, 0x50).PixelBytes(2), (Bytes{0x5A, 0x5B}));
    const Bytes grey8 = {0x0F, 0xF0};
    EXPECT_EQ(Interlaced(0, 8, 5, Params(4, 0, grey8, 2), grey8, 4, 0, 0x11).PixelBytes(4),
              (Bytes{0x11, 0x1F, 0x11, 0xF1}));
}

TEST(Converters, ReducedPlainRowsTakeEveryTwoToTheShiftPixel)
{
    // W = 5, s = 1: W' = 2, source pixels 0 and 2.
    const Bytes rgb16 = {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 0, 9, 0, 10, 0, 11, 0, 12, 0, 13, 0, 14, 0, 15, 0};
    const Target t = Plain(2, 16, Params(2, 1, rgb16, 5), rgb16, 6);
    EXPECT_EQ(t.PixelBytes(6), (Bytes{G(3), G(2), G(1), G(9), G(8), G(7)}));
    ExpectGuardsIntact(t, 6, 0);
    const Bytes grey8 = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const Target g = Plain(0, 8, Params(2, 2, grey8, 9), grey8, 2);
    EXPECT_EQ(g.PixelBytes(2), (Bytes{1, 5}));
    ExpectGuardsIntact(g, 2, 0);
}

TEST(Converters, ReducedPlainPackedRowsKeepTheTargetDepth)
{
    // 1-bit, s = 1: pixels 0, 2, 4, 6 of 10110010 are 1, 1, 0, 1.
    const Bytes bits = {0xB2};
    EXPECT_EQ(Plain(0, 1, Params(4, 1, bits, 8), bits, 1).PixelBytes(1), Bytes{0xD0});
    // 2-bit, s = 1: pixels 0, 2, 4, 6 of 3 2 1 0 0 1 2 3 are 3, 1, 0, 2.
    const Bytes twoBit = {0xE4, 0x1B};
    EXPECT_EQ(Plain(0, 2, Params(4, 1, twoBit, 8), twoBit, 2).PixelBytes(2), (Bytes{0xF5, 0x0A}));
    EXPECT_EQ(Plain(3, 2, Params(4, 1, twoBit, 8), twoBit, 2).PixelBytes(2), (Bytes{0x31, 0x02}));
    // 4-bit, W = 6, s = 1: pixels 0, 2, 4 are 1, 3, 5; whole bytes are
    // stored, so the last one's spare nibble is 0 whatever the row held.
    const Bytes nibbles = {0x12, 0x34, 0x56};
    const Target t = Plain(3, 4, Params(3, 1, nibbles, 6), nibbles, 2, 0, 0xFF);
    EXPECT_EQ(t.PixelBytes(2), (Bytes{0x13, 0x50}));
    ExpectGuardsIntact(t, 2, 0);
}

TEST(Converters, InterlacedPlacementFollowsTheReducedPassGrid)
{
    // W = 7, s = 1 (W' = 3). Pass 4 holds columns 0, 2, 4, 6: reduced 0 to 3,
    // and column 3 lies beyond W'.
    const Bytes pass4 = {1, 1, 1, 11, 2, 2, 2, 22, 3, 3, 3, 33, 4, 4, 4, 44};
    const Target t = Interlaced(6, 8, 4, Params(3, 1, pass4, 4), pass4, 9, 3);
    EXPECT_EQ(t.PixelBytes(9), (Bytes{G(1), G(1), G(1), G(2), G(2), G(2), G(3), G(3), G(3)}));
    EXPECT_EQ(t.AlphaBytes(3), (Bytes{11, 22, 33}));
    ExpectGuardsIntact(t, 9, 3);
    // Pass 3 holds columns 2 and 6: reduced 1 and 3; only column 1 is written.
    const Bytes pass3 = {5, 50, 6, 60};
    const Target g = Interlaced(4, 8, 3, Params(3, 1, pass3, 2), pass3, 3, 3);
    EXPECT_EQ(g.PixelBytes(3), (Bytes{0, 5, 0}));
    EXPECT_EQ(g.AlphaBytes(3), (Bytes{0, 50, 0}));
    ExpectGuardsIntact(g, 3, 3);
    // W = 5, s = 1 (W' = 2): pass 1's only column, 4, would be reduced column 2.
    const Bytes pass1 = {9, 9};
    const Target none = Interlaced(4, 8, 1, Params(2, 1, pass1, 1), pass1, 2, 2);
    EXPECT_EQ(none.PixelBytes(2), (Bytes{0, 0}));
    EXPECT_EQ(none.AlphaBytes(2), (Bytes{0, 0}));
}

TEST(Converters, ZeroDecodeWidthWritesNothing)
{
    const Bytes row(16, 0x77);
    for (uint8_t colorType : {0, 2, 3, 4, 6}) {
        const uint8_t depth = colorType == 0 || colorType == 3 ? 8 : 16;
        const Target plain = Plain(colorType, depth, Params(0, 1, row, 1), row, 0, 0);
        ExpectGuardsIntact(plain, 0, 0);
        const Target interlaced = Interlaced(colorType, depth, 0, Params(0, 1, row, 1), row, 0, 0);
        ExpectGuardsIntact(interlaced, 0, 0);
    }
}

TEST(Converters, PairsWithoutConverterSelectNone)
{
    struct Pair {
        uint8_t ColorType, Depth;
    };
    for (Pair p : {Pair{1, 8}, Pair{5, 8}, Pair{7, 8}, Pair{0, 3}, Pair{0, 32}, Pair{2, 4}, Pair{4, 4}, Pair{6, 1},
                   Pair{3, 0}}) {
        EXPECT_EQ(ChoosePlainConverter(p.ColorType, p.Depth, 0), nullptr) << int{p.ColorType} << "/" << int{p.Depth};
        EXPECT_EQ(ChoosePlainConverter(p.ColorType, p.Depth, 2), nullptr);
        EXPECT_EQ(ChooseInterlacedConverter(p.ColorType, p.Depth), nullptr);
        const PixelFormat format = DescribePixelFormat(p.ColorType, p.Depth);
        EXPECT_FALSE(format.Valid);
        EXPECT_EQ(format.BitmapBits, 0);
        EXPECT_EQ(format.RowBytes(10), 0);
    }
}

// Row lengths (packed rows round up to whole bytes), filter steps, the
// buffer table's bit counts and the alpha plane, per format.
TEST(Converters, FormatsMatchTheRowAndBufferTables)
{
    const struct {
        uint8_t Type, Depth;
        int64_t Width, RowBytes;
        uint8_t Step, BitmapBits;
        bool Alpha;
    } cases[] = {
        {0, 1, 9, 2, 1, 1, false},    {0, 2, 5, 2, 1, 4, false},     {3, 2, 5, 2, 1, 4, false},
        {3, 4, 3, 2, 1, 4, false},    {3, 8, 3, 3, 1, 8, false},     {0, 16, 3, 6, 2, 8, false},
        {3, 16, 3, 6, 2, 8, false},   {4, 8, 5, 10, 2, 8, true},     {4, 16, 5, 20, 4, 8, true},
        {2, 8, 5, 15, 3, 24, false},  {2, 16, 5, 30, 6, 24, false},  {6, 8, 0, 0, 4, 24, true},
        {6, 16, 65535, 524280, 8, 24, true},
    };
    for (const auto& c : cases) {
        const PixelFormat format = DescribePixelFormat(c.Type, c.Depth);
        SCOPED_TRACE(testing::Message() << int{c.Type} << "/" << int{c.Depth});
        EXPECT_TRUE(format.Valid);
        EXPECT_EQ(format.RowBytes(c.Width), c.RowBytes);
        EXPECT_EQ(format.FilterStep, c.Step);
        EXPECT_EQ(format.BitmapBits, c.BitmapBits);
        EXPECT_EQ(format.Alpha, c.Alpha);
        EXPECT_EQ(format.Paletted(), c.BitmapBits != 24);
    }
    // Full-size 2-bit rows write two bytes per source byte, padding included.
    const ConvertParams twoBit{3, 0, 1, 3, kInverse.data()};
    EXPECT_EQ(PixelRowSpan(DescribePixelFormat(0, 2), false, twoBit), 2);
    EXPECT_EQ(PixelRowSpan(DescribePixelFormat(0, 2), true, twoBit), 2);
    const ConvertParams rgb{5, 0, 15, 5, kInverse.data()};
    EXPECT_EQ(PixelRowSpan(DescribePixelFormat(2, 8), false, rgb), 15);
}

// A file gamma of 1.0 against the built-in display gamma of 2.2 makes a
// table far from the identity.
void DecodeWithGamma(const pngtest::Picture& picture, pngtest::ImageRef& image)
{
    pngtest::PngWriter writer;
    writer.Signature().Header(picture).Chunk("gAMA", pngtest::BigEndian32(100000));
    writer.ImageData(pngtest::Deflate(pngtest::FilterPicture(picture))).End();
    ASSERT_TRUE(pngtest::LoadBytes(*image, writer.Data));
    ASSERT_NE(image->GammaTable[128], 128) << "the table must not be the identity";
}

TEST(Converters, GammaMapsTruecolourExceptPlainEightBitAndNeverAlpha)
{
    for (uint8_t colorType : {2, 6}) {
        for (uint8_t depth : {8, 16}) {
            for (uint8_t interlace : {0, 1}) {
                SCOPED_TRACE(testing::Message() << int{colorType} << "/" << int{depth} << "/" << int{interlace});
                pngtest::Picture picture = pngtest::NoisePicture(5, 4, depth, colorType, depth + interlace);
                picture.Interlace = interlace;
                pngtest::ImageRef image;
                DecodeWithGamma(picture, image);
                const bool mapped = !(colorType == 2 && depth == 8 && interlace == 0);
                const PngHeaderChunk& header = *image->Header();
                for (uint32_t y = 0; y < 4; ++y) {
                    for (uint32_t x = 0; x < 5; ++x) {
                        uint32_t rgb = pngtest::ExpectedPixel(picture, x, y);
                        if (mapped) {
                            const auto& g = image->GammaTable;
                            rgb = uint32_t{g[rgb >> 16]} << 16 | uint32_t{g[(rgb >> 8) & 255]} << 8 | g[rgb & 255];
                        }
                        EXPECT_EQ(pngtest::DeliveredPixel(header, x, y), rgb);
                        if (colorType == 6) {
                            EXPECT_EQ(pngtest::DeliveredAlpha(header, x, y), pngtest::ExpectedAlpha(picture, x, y));
                        }
                    }
                }
            }
        }
    }
}

TEST(Converters, GreyAndPaletteIndicesIgnoreGamma)
{
    for (uint8_t colorType : {0, 3, 4}) {
        for (uint8_t interlace : {0, 1}) {
            pngtest::Picture picture = pngtest::NoisePicture(6, 3, 8, colorType, colorType);
            picture.Interlace = interlace;
            pngtest::ImageRef image;
            DecodeWithGamma(picture, image);
            pngtest::ExpectDecoded(*image, picture, 0);
        }
    }
}

}  // namespace
