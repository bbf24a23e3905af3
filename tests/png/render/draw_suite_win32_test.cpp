// PngSuite pictures decoded by the project and drawn at (10, 20) over a known
// pattern, against the same files decoded by stb_image with the display
// gamma applied here.
#include <gtest/gtest.h>
#include <stb_image.h>

#include <array>
#include <cmath>
#include <memory>

#include "tests/png/render/draw_support.h"
#include "tests/support/png_writer.h"
#include "winlayer/base/memory_stream.h"
#include "winlayer/gdi/gdi_count.h"

namespace {

constexpr int32_t kLeft = 10, kTop = 20, kAreaWidth = 64, kAreaHeight = 56;

struct SuiteCase {
    const char* File;
    TransparencyMode Mode;
    uint32_t Gamma;  // the gamma the decoder applies; 0 for none
    bool RawGrey;    // grey with alpha: the grey byte is blended as it is
};

// Every sample the decoder turns into a colour passes through the table
// that a gAMA chunk builds, with the display's gamma of 2.2 (PNG standard,
// section 12.2): 255 * (i / 255) ^ (1 / (gamma * 2.2)), halves to even.
std::array<uint8_t, 256> GammaTable(uint32_t gamma)
{
    std::array<uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        long double exponent = 1.0L / (gamma / 100000.0L * 2.2L);
        long double value = gamma == 0 || i == 0 ? i : std::pow(i / 255.0L, exponent) * 255.0L;
        table[i] = uint8_t(std::nearbyint(value));
    }
    return table;
}

Picture32 Expected(const SuiteCase& c, const uint8_t* rgba, int32_t width, int32_t height)
{
    const std::array<uint8_t, 256> gamma = GammaTable(c.Gamma);
    Picture32 expected = PatternPicture(kAreaWidth, kAreaHeight);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* p = rgba + (size_t(y) * width + x) * 4;
            uint32_t colour = c.RawGrey ? Rgb32(p[0], p[0], p[0]) : Rgb32(gamma[p[0]], gamma[p[1]], gamma[p[2]]);
            uint32_t& d = expected.At(kLeft + x, kTop + y);
            if (c.Mode == TransparencyMode::alpha)
                d = Mix(colour, p[3], d);
            else if (colour != 0)  // key 0: black lets the pattern through
                d = colour;
        }
    return expected;
}

// Plain (non-interlaced) 8-bit truecolour rows are the one truecolour form
// the decoder copies without its gamma table, so basn2c08 and tbrn2c08 are
// expected with none; basi2c08, interlaced, with its gAMA.
class DrawSuite : public testing::TestWithParam<SuiteCase> {};

TEST_P(DrawSuite, DrawsLikeTheOracleOverAMemoryContext)
{
    const SuiteCase& c = GetParam();
    PngImage* image = Create<PngImage>();
    const std::string path = std::string("pngsuite/") + c.File;
    ASSERT_TRUE(image->LoadFromFile(path.c_str())) << c.File << " status " << int(image->Status);
    ASSERT_EQ(image->GetTransparencyMode(), c.Mode);
    int width = 0, height = 0, channels = 0;
    std::unique_ptr<uint8_t, void (*)(void*)> rgba(stbi_load(path.c_str(), &width, &height, &channels, 4), &stbi_image_free);
    ASSERT_NE(rgba, nullptr);
    ASSERT_EQ(image->Width(), width);

    MemoryTarget target(kAreaWidth, kAreaHeight);
    PaintPattern(target.Dc(), kAreaWidth, kAreaHeight);
    const int32_t gdiBefore = GdiLiveCount();
    image->Draw(target.Dc(), kLeft, kTop, kLeft + width, kTop + height, 0);
    EXPECT_EQ(GdiLiveCount(), gdiBefore);
    Picture32 actual = ReadBack(target.Dc(), 0, 0, kAreaWidth, kAreaHeight);
    EXPECT_TRUE(SamePicture(actual, Expected(c, rgba.get(), width, height), std::string("suite_") + c.File));
    Release(image);
}

// A plain picture without handlers gets its section unfilled and zeroed
// only where no row reached: nothing may be written past the last row,
// which here ends on a page (64 rows of 192 bytes), where the section ends.
TEST(DrawSection, PlainPictureEndingOnAPageDecodesIntoItsSection)
{
    const pngtest::Picture picture = pngtest::NoisePicture(64, 64, 8, 2, 4096);
    const pngtest::Bytes file = pngtest::PngWriter::Simple(picture);
    PngImage* image = Create<PngImage>();
    MemoryStream* stream = OpenMemoryStream(file.data(), file.size());
    ASSERT_TRUE(image->LoadFromStream(*stream));
    const PngHeaderChunk* header = image->Header();
    ASSERT_EQ(header->BytesPerRow * int32_t(picture.Height) % 4096, 0);
    for (uint32_t y = 0; y < picture.Height; ++y) {
        const uint8_t* row = header->Pixels + size_t(header->BytesPerRow) * (picture.Height - 1 - y);  // bottom-up
        for (uint32_t x = 0; x < picture.Width * 3; ++x)  // blue, green, red
            ASSERT_EQ(row[x], picture.Rows[y][x / 3 * 3 + 2 - x % 3]) << "row " << y << ", byte " << x;
    }
    Release(stream);
    Release(image);
}

INSTANTIATE_TEST_SUITE_P(
    PngSuite, DrawSuite,
    testing::Values(SuiteCase{"basn0g01.png", TransparencyMode::none, 100000, false},
                    SuiteCase{"basn0g04.png", TransparencyMode::none, 100000, false},
                    SuiteCase{"basn0g08.png", TransparencyMode::none, 100000, false},
                    SuiteCase{"basn0g16.png", TransparencyMode::none, 100000, false},
                    SuiteCase{"basn2c08.png", TransparencyMode::none, 0, false},
                    SuiteCase{"basi2c08.png", TransparencyMode::none, 100000, false},
                    SuiteCase{"basn2c16.png", TransparencyMode::none, 100000, false},
                    SuiteCase{"basn3p01.png", TransparencyMode::none, 100000, false},
                    SuiteCase{"basn3p04.png", TransparencyMode::none, 100000, false},
                    SuiteCase{"basn3p08.png", TransparencyMode::none, 100000, false},
                    SuiteCase{"basi3p08.png", TransparencyMode::none, 100000, false},
                    SuiteCase{"tbrn2c08.png", TransparencyMode::colourKey, 0, false},
                    SuiteCase{"tbbn3p08.png", TransparencyMode::colourKey, 100000, false},
                    SuiteCase{"basn4a08.png", TransparencyMode::alpha, 100000, true},
                    SuiteCase{"basn4a16.png", TransparencyMode::alpha, 100000, true},
                    SuiteCase{"basn6a08.png", TransparencyMode::alpha, 100000, false},
                    SuiteCase{"basn6a16.png", TransparencyMode::alpha, 100000, false},
                    SuiteCase{"basi6a08.png", TransparencyMode::alpha, 100000, false},
                    SuiteCase{"tm3n3p02.png", TransparencyMode::alpha, 0, false}),
    [](const testing::TestParamInfo<SuiteCase>& info) {
        std::string name = info.param.File;
        return name.substr(0, name.find('.'));
    });

}  // namespace
