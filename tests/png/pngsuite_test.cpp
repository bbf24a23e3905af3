// Differential test over the PngSuite: every valid file decodes to the
// picture libpng reads from it, with this decoder's rules applied on top
// (16-bit samples cut to the high byte, the gAMA table for a display gamma
// of 2.2 where the decoder applies it, grey with alpha as raw grey, the
// transparency mode); every broken file ends with the status its fault
// leads to, never a crash.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "png/render/rgba_view.h"
#include "tests/support/png_writer.h"

using namespace pngtest;

namespace {

namespace fs = std::filesystem;

// The file as libpng reads it: raw samples, one byte per sample below 8
// bits, de-interlaced, plus the tables the expected colours need.
struct Oracle {
    uint32_t Width = 0, Height = 0;
    int Depth = 0, Type = 0, Interlace = 0;
    std::vector<Bytes> Rows;
    std::vector<png_color> Palette;
    Bytes Trans;
    bool HasTrans = false;
    uint32_t Gamma = 0;  // x 100000; 0 without gAMA
};

bool ReadOracle(const std::string& path, Oracle& o)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    o.Width = png_get_image_width(png, info);
    o.Height = png_get_image_height(png, info);
    o.Depth = png_get_bit_depth(png, info);
    o.Type = png_get_color_type(png, info);
    o.Interlace = png_get_interlace_type(png, info);
    png_fixed_point gamma = 0;
    if (png_get_gAMA_fixed(png, info, &gamma))
        o.Gamma = static_cast<uint32_t>(gamma);
    png_colorp palette = nullptr;
    int entries = 0;
    if (png_get_PLTE(png, info, &palette, &entries))
        o.Palette.assign(palette, palette + entries);
    png_bytep trans = nullptr;
    int transCount = 0;
    o.HasTrans = png_get_tRNS(png, info, &trans, &transCount, nullptr) != 0;
    if (o.HasTrans && trans && o.Type == PNG_COLOR_TYPE_PALETTE)
        o.Trans.assign(trans, trans + transCount);
    png_set_packing(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    o.Rows.assign(o.Height, Bytes(png_get_rowbytes(png, info)));
    std::vector<png_bytep> pointers;
    for (Bytes& row : o.Rows)
        pointers.push_back(row.data());
    png_read_image(png, pointers.data());
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return true;
}

std::array<uint8_t, 256> GammaFor(uint32_t gamma)
{
    std::array<uint8_t, 256> table;
    for (int i = 0; i < 256; ++i)
        table[i] = gamma == 0 ? static_cast<uint8_t>(i)
                              : static_cast<uint8_t>(std::nearbyint(
                                    std::pow(i / 255.0, 1.0 / (gamma / 100000.0 * 2.2)) * 255.0));
    return table;
}

// Sample c of pixel x, cut or scaled to 8 bits as the decoder's buffers hold it.
uint8_t Sample(const Oracle& o, const Bytes& row, uint32_t x, uint32_t c, bool scaleLowDepths)
{
    uint32_t channels = Channels(static_cast<uint8_t>(o.Type));
    if (o.Depth == 16)
        return row[(x * channels + c) * 2];
    uint8_t v = row[x * channels + c];
    return scaleLowDepths && o.Depth < 8 ? static_cast<uint8_t>(v * 255 / ((1 << o.Depth) - 1)) : v;
}

bool PaletteBlends(const Oracle& o)
{
    if (!o.HasTrans)
        return false;
    int below = 0;
    for (uint8_t alpha : o.Trans)
        below += alpha != 255;
    return below != 1;
}

std::array<uint8_t, 4> ExpectedPixel(const Oracle& o, const std::array<uint8_t, 256>& g, uint32_t x, uint32_t y)
{
    const Bytes& row = o.Rows[y];
    switch (o.Type) {
    case 0: {
        uint8_t v = g[Sample(o, row, x, 0, true)];
        return {v, v, v, 255};
    }
    case 2: {
        bool plainCopy = o.Depth == 8 && o.Interlace == 0;
        auto c = [&](uint32_t i) { return plainCopy ? Sample(o, row, x, i, false) : g[Sample(o, row, x, i, false)]; };
        return {c(0), c(1), c(2), 255};
    }
    case 3: {
        uint8_t index = Sample(o, row, x, 0, false);
        png_color entry = index < o.Palette.size() ? o.Palette[index] : png_color{0, 0, 0};
        uint8_t alpha = PaletteBlends(o) && index < o.Trans.size() ? o.Trans[index] : 255;
        return {g[entry.red], g[entry.green], g[entry.blue], alpha};
    }
    case 4: {
        uint8_t v = Sample(o, row, x, 0, false);
        return {v, v, v, Sample(o, row, x, 1, false)};
    }
    default:
        return {g[Sample(o, row, x, 0, false)], g[Sample(o, row, x, 1, false)], g[Sample(o, row, x, 2, false)],
                Sample(o, row, x, 3, false)};
    }
}

// Runs at test discovery: a missing folder gives an empty list (and the
// PngSuiteData test below fails saying so) rather than an exception that
// would abort the discovery of every test.
std::vector<std::string> SuiteFiles(bool broken)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(PNGSUITE_DIR, error)) {
        std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".png" && (name[0] == 'x') == broken)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string PathOf(const std::string& name) { return std::string(PNGSUITE_DIR) + "/" + name; }

// Compares the decoded picture at reduction shift s with the oracle's pixels
// at every 2^s-th row and column; returns the number of differing pixels.
int CountMismatches(const PngImage& image, const Oracle& o, int s)
{
    auto g = GammaFor(o.Gamma);
    int32_t width = image.ReducedWidth();
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * 4 + 4);
    int mismatches = 0;
    for (int32_t y = 0; y < image.ReducedHeight(); ++y) {
        EXPECT_TRUE(ReadRgbaRow(image, y, rgba.data()));
        for (int32_t x = 0; x < width; ++x) {
            auto expected = ExpectedPixel(o, g, static_cast<uint32_t>(x) << s, static_cast<uint32_t>(y) << s);
            if (std::memcmp(expected.data(), &rgba[4 * static_cast<size_t>(x)], 4) != 0 && mismatches++ < 3)
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") expected " << int(expected[0]) << ","
                              << int(expected[1]) << "," << int(expected[2]) << "," << int(expected[3]) << " got "
                              << int(rgba[4 * x]) << "," << int(rgba[4 * x + 1]) << "," << int(rgba[4 * x + 2])
                              << "," << int(rgba[4 * x + 3]);
        }
    }
    return mismatches;
}

class ValidFile : public testing::TestWithParam<std::string> {};

TEST_P(ValidFile, DecodesToThePictureLibpngReads)
{
    Oracle oracle;
    ASSERT_TRUE(ReadOracle(PathOf(GetParam()), oracle));
    for (bool strict : {false, true}) {
        ImageRef image;
        image->StrictCrc = strict;
        ASSERT_TRUE(image->LoadFromFile(PathOf(GetParam()).c_str()));
        EXPECT_EQ(image->Status, PngStatus::Ok);
        EXPECT_EQ(image->Width(), static_cast<int32_t>(oracle.Width));
        EXPECT_EQ(image->Height(), static_cast<int32_t>(oracle.Height));
        EXPECT_EQ(CountMismatches(*image, oracle, 0), 0);
    }
}

// Reduced decodes are exact subsamples wherever the converters support
// them: everything but plain pictures packed below 8 bits per sample.
TEST_P(ValidFile, ReducedDecodesTakeEveryNthPixel)
{
    Oracle oracle;
    ASSERT_TRUE(ReadOracle(PathOf(GetParam()), oracle));
    if (oracle.Interlace == 0 && oracle.Depth < 8)
        GTEST_SKIP() << "reduced packed rows are left open";
    for (uint8_t reduction = 1; reduction <= 3; ++reduction) {
        ImageRef image;
        image->Reduction = reduction;
        ASSERT_TRUE(image->LoadFromFile(PathOf(GetParam()).c_str()));
        EXPECT_EQ(image->ReducedWidth(), static_cast<int32_t>(oracle.Width >> reduction));
        EXPECT_EQ(CountMismatches(*image, oracle, reduction), 0) << "reduction " << int(reduction);
    }
}

TEST(PngSuiteData, IsInTheCheckout)
{
    EXPECT_GE(SuiteFiles(false).size(), 150u) << "the PNG suite is missing from " << PNGSUITE_DIR;
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ValidFile);
INSTANTIATE_TEST_SUITE_P(PngSuite, ValidFile, testing::ValuesIn(SuiteFiles(false)),
                         [](const auto& info) { return info.param.substr(0, info.param.size() - 4); });

struct BrokenExpectation {
    const char* Name;
    bool Result;
    PngStatus Status;
    bool StrictResult;
    PngStatus StrictStatus;
};

// From the suite's own description of each file.
constexpr BrokenExpectation kBroken[] = {
    {"xc1n0g08.png", false, PngStatus::NoImageData, false, PngStatus::NoImageData},  // colour type 1
    {"xc9n2c08.png", false, PngStatus::NoImageData, false, PngStatus::NoImageData},  // colour type 9
    {"xcrn0g04.png", false, PngStatus::BadSignature, false, PngStatus::BadSignature},  // CR added
    {"xcsn0g01.png", true, PngStatus::Ok, true, PngStatus::CrcMismatch},               // IDAT CRC
    {"xd0n2c08.png", false, PngStatus::NoImageData, false, PngStatus::NoImageData},  // depth 0
    {"xd3n2c08.png", false, PngStatus::NoImageData, false, PngStatus::NoImageData},  // depth 3
    {"xd9n2c08.png", false, PngStatus::NoImageData, false, PngStatus::NoImageData},  // depth 99
    {"xdtn0g01.png", false, PngStatus::NoImageData, false, PngStatus::NoImageData},  // no IDAT
    {"xhdn0g08.png", true, PngStatus::Ok, false, PngStatus::NoImageData},            // IHDR CRC
    {"xlfn0g04.png", false, PngStatus::BadSignature, false, PngStatus::BadSignature},  // LF added
    {"xs1n0g01.png", false, PngStatus::BadSignature, false, PngStatus::BadSignature},
    {"xs2n0g01.png", false, PngStatus::BadSignature, false, PngStatus::BadSignature},
    {"xs4n0g01.png", false, PngStatus::BadSignature, false, PngStatus::BadSignature},
    {"xs7n0g01.png", false, PngStatus::BadSignature, false, PngStatus::BadSignature},
};

TEST(PngSuiteBroken, EveryBrokenFileEndsAsItsFaultLeadsTo)
{
    std::vector<std::string> files = SuiteFiles(true);
    EXPECT_EQ(files.size(), std::size(kBroken));
    for (const BrokenExpectation& e : kBroken) {
        for (bool strict : {false, true}) {
            ImageRef image;
            image->StrictCrc = strict;
            bool result = image->LoadFromFile(PathOf(e.Name).c_str());
            SCOPED_TRACE(testing::Message() << e.Name << (strict ? " strict" : ""));
            EXPECT_EQ(result, strict ? e.StrictResult : e.Result);
            EXPECT_EQ(image->Status, strict ? e.StrictStatus : e.Status);
        }
    }
}

// A file whose only fault is its IDAT CRC holds the image data of basn0g01:
// with CRCs not checked it decodes to the same picture.
TEST(PngSuiteBroken, CrcFaultsAloneLeaveThePictureIntact)
{
    ImageRef image;
    ASSERT_TRUE(image->LoadFromFile(PathOf("xcsn0g01.png").c_str()));
    ImageRef reference;
    ASSERT_TRUE(reference->LoadFromFile(PathOf("basn0g01.png").c_str()));
    std::vector<uint8_t> a(32 * 4), b(32 * 4);
    for (int32_t y = 0; y < 32; ++y) {
        ASSERT_TRUE(ReadRgbaRow(*image, y, a.data()));
        ASSERT_TRUE(ReadRgbaRow(*reference, y, b.data()));
        ASSERT_EQ(a, b) << "row " << y;
    }
}

}  // namespace
