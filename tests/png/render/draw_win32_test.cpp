// PngImage::Draw onto real device contexts, read back and compared pixel for
// pixel with pictures computed here.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "tests/png/render/draw_support.h"
#include "winlayer/gdi/gdi_count.h"

namespace {

constexpr int32_t kLeft = 10, kTop = 20;
constexpr int32_t kAreaWidth = 64, kAreaHeight = 56;
constexpr uint32_t kBlack = 0;

struct Released {
    void operator()(PngImage* image) const { Release(image); }
};
using ImagePtr = std::unique_ptr<PngImage, Released>;

// 8 x 6 RGBA: colour and alpha vary in every pixel, with the end values 0
// and 255 among them.
ImagePtr RgbaPicture()
{
    ImagePtr image(CraftImage(8, 6, 8, 6));
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 8; ++x) {
            SetRgb(image.get(), x, y, Rgb32(30 * x, 200 - 20 * y, 7 * x * y));
            SetAlpha(image.get(), x, y, uint8_t(x == 0 ? 0 : x == 7 ? 255 : 40 * x + y));
        }
    return image;
}

// The pattern with the picture blended in at (kLeft, kTop).
Picture32 BlendedOverPattern(PngImage* image, const std::function<uint32_t(int32_t, int32_t)>& colour,
                             const std::function<uint8_t(int32_t, int32_t)>& alpha)
{
    Picture32 expected = PatternPicture(kAreaWidth, kAreaHeight);
    for (int32_t y = 0; y < image->Height(); ++y)
        for (int32_t x = 0; x < image->Width(); ++x) {
            uint32_t& d = expected.At(kLeft + x, kTop + y);
            d = Mix(colour(x, y), alpha(x, y), d);
        }
    return expected;
}

Picture32 ExpectedRgba(PngImage* image)
{
    PngHeaderChunk* header = HeaderOf(image);
    return BlendedOverPattern(
        image,
        [&](int32_t x, int32_t y) {
            const uint8_t* p = header->Pixels + size_t(header->Height - 1 - y) * header->BytesPerRow + 3 * x;
            return Rgb32(p[2], p[1], p[0]);
        },
        [&](int32_t x, int32_t y) { return header->AlphaPlane[size_t(y) * header->Width + x]; });
}

Picture32 DrawnOnPattern(PngImage* image, int32_t maxRight = 1000, int32_t maxBottom = 1000, uint32_t key = kBlack)
{
    MemoryTarget target(kAreaWidth, kAreaHeight);
    PaintPattern(target.Dc(), kAreaWidth, kAreaHeight);
    image->Draw(target.Dc(), kLeft, kTop, maxRight, maxBottom, key);
    return ReadBack(target.Dc(), 0, 0, kAreaWidth, kAreaHeight);
}

// Where the picture is key-coloured the pattern shows, elsewhere the picture.
Picture32 KeyedOverPattern(const std::vector<std::vector<uint32_t>>& picture, uint32_t keyRgb)
{
    Picture32 expected = PatternPicture(kAreaWidth, kAreaHeight);
    for (size_t y = 0; y < picture.size(); ++y)
        for (size_t x = 0; x < picture[y].size(); ++x)
            if (picture[y][x] != keyRgb)
                expected.At(kLeft + int32_t(x), kTop + int32_t(y)) = picture[y][x];
    return expected;
}

// Colours with black, near-black and white among them.
const std::vector<std::vector<uint32_t>> kKeyColours = {
    {0x000000, 0x010000, 0x000100, 0x000001, 0xFFFFFF},
    {0x808080, 0x000000, 0x204060, 0x000000, 0x0A0B0C},
    {0x000000, 0x000000, 0xFF0000, 0x00FF00, 0x0000FF},
};

TEST(DrawAlphaPath, RgbaAtAnOffsetBlendsOverAMemoryContext)
{
    ImagePtr image = RgbaPicture();
    EXPECT_TRUE(SamePicture(DrawnOnPattern(image.get()), ExpectedRgba(image.get()), "rgba_memory"));
}

TEST(DrawAlphaPath, RgbaAtAnOffsetBlendsOverAWindow)
{
    ImagePtr image = RgbaPicture();
    TestWindow window(kAreaWidth, kAreaHeight);
    HDC dc = GetDC(window.Handle());
    PaintPattern(dc, kAreaWidth, kAreaHeight);
    image->Draw(dc, kLeft, kTop, 1000, 1000, kBlack);
    Picture32 actual = ReadBack(dc, 0, 0, kAreaWidth, kAreaHeight);
    ReleaseDC(window.Handle(), dc);
    EXPECT_TRUE(SamePicture(actual, ExpectedRgba(image.get()), "rgba_window"));
}

TEST(DrawAlphaPath, PaletteWithSeveralTranslucentEntriesBlendsWithTheirAlphas)
{
    const std::vector<uint32_t> colours = {0x000000, 0xFF8000, 0x3060C0, 0xFFFFFF};
    const std::vector<uint8_t> alphas = {0, 128, 200};  // entry 3 is opaque
    ImagePtr image(CraftImage(4, 3, 8, 3));
    AddPalette(image.get(), colours);
    AddTransparency(image.get(), alphas);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 4; ++x)
            SetByte(image.get(), x, y, uint8_t((x + y) % 4));
    ASSERT_EQ(image->GetTransparencyMode(), TransparencyMode::alpha);
    Picture32 expected = BlendedOverPattern(
        image.get(), [&](int32_t x, int32_t y) { return colours[(x + y) % 4]; },
        [&](int32_t x, int32_t y) { return (x + y) % 4 < 3 ? alphas[(x + y) % 4] : uint8_t(255); });
    EXPECT_TRUE(SamePicture(DrawnOnPattern(image.get()), expected, "palette_alpha"));
}

TEST(DrawColourKeyPath, OnlyBlackPixelsOfGreyRgbAndPalettePicturesShowTheBackground)
{
    const int32_t w = int32_t(kKeyColours[0].size()), h = int32_t(kKeyColours.size());
    ImagePtr rgb(CraftImage(w, h, 8, 2));
    ImagePtr palette(CraftImage(w, h, 8, 3));
    ImagePtr grey(CraftImage(w, h, 8, 0));
    std::vector<uint32_t> entries;
    std::vector<std::vector<uint32_t>> greys(h, std::vector<uint32_t>(w));
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            SetRgb(rgb.get(), x, y, kKeyColours[y][x]);
            SetByte(palette.get(), x, y, uint8_t(entries.size()));
            entries.push_back(kKeyColours[y][x]);
            uint8_t level = uint8_t(Blue(kKeyColours[y][x]));
            SetByte(grey.get(), x, y, level);
            greys[y][x] = Rgb32(level, level, level);
        }
    AddPalette(palette.get(), entries);
    for (int i = 0; i < 256; ++i)
        HeaderOf(grey.get())->Info.Colors[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
    EXPECT_TRUE(SamePicture(DrawnOnPattern(rgb.get()), KeyedOverPattern(kKeyColours, kBlack), "key_rgb"));
    EXPECT_TRUE(SamePicture(DrawnOnPattern(palette.get()), KeyedOverPattern(kKeyColours, kBlack), "key_palette"));
    EXPECT_TRUE(SamePicture(DrawnOnPattern(grey.get()), KeyedOverPattern(greys, kBlack), "key_grey"));
}

TEST(DrawColourKeyPath, PaletteWithExactlyOneTransparentEntryIsKeyedNotBlended)
{
    // Entry 0 is fully transparent but red: on the key path it is drawn opaque.
    const std::vector<std::vector<uint32_t>> colours = {{0xFF0000, 0x000000, 0x00FF00}, {0x000000, 0xFF0000, 0x0000FF}};
    ImagePtr image(CraftImage(3, 2, 8, 3));
    AddPalette(image.get(), {0xFF0000, 0x000000, 0x00FF00, 0x0000FF});
    AddTransparency(image.get(), {0, 255, 255});
    const uint8_t indices[2][3] = {{0, 1, 2}, {1, 0, 3}};
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x)
            SetByte(image.get(), x, y, indices[y][x]);
    ASSERT_EQ(image->GetTransparencyMode(), TransparencyMode::colourKey);
    EXPECT_TRUE(SamePicture(DrawnOnPattern(image.get()), KeyedOverPattern(colours, kBlack), "key_one_entry"));
}

TEST(DrawColourKeyPath, SystemColourKeyIsMappedToItsCurrentRgb)
{
    const uint32_t face = GetSysColor(COLOR_BTNFACE);
    const uint32_t faceRgb = Rgb32(GetRValue(face), GetGValue(face), GetBValue(face));
    const std::vector<std::vector<uint32_t>> colours = {{faceRgb, 0x000000, 0x123456}};
    ImagePtr image(CraftImage(3, 1, 8, 2));
    for (int32_t x = 0; x < 3; ++x)
        SetRgb(image.get(), x, 0, colours[0][x]);
    EXPECT_TRUE(SamePicture(DrawnOnPattern(image.get(), 1000, 1000, 0x80000000u | COLOR_BTNFACE),
                            KeyedOverPattern(colours, faceRgb), "key_system_colour"));
}

TEST(DrawBounds, HalfWidthSqueezesTheKeyPathAndLeavesTheAlphaPathWhole)
{
    ImagePtr opaque(CraftImage(8, 4, 8, 2));
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 8; ++x)
            SetRgb(opaque.get(), x, y, 0x3366CC);
    Picture32 squeezed = PatternPicture(kAreaWidth, kAreaHeight);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x)
            squeezed.At(kLeft + x, kTop + y) = 0x3366CC;
    EXPECT_TRUE(SamePicture(DrawnOnPattern(opaque.get(), kLeft + 4), squeezed, "bounds_key"));

    ImagePtr rgba = RgbaPicture();
    EXPECT_TRUE(SamePicture(DrawnOnPattern(rgba.get(), kLeft + 4, kTop + 3), ExpectedRgba(rgba.get()),
                            "bounds_alpha"));
}

TEST(DrawNothing, ImageWithoutChunksLeavesTheDestination)
{
    PngImage* image = Create<PngImage>();
    int32_t gdiBefore = GdiLiveCount();
    EXPECT_FALSE(image->Draw(nullptr, 0, 0, 10, 10, 0));
    EXPECT_TRUE(SamePicture(DrawnOnPattern(image), PatternPicture(kAreaWidth, kAreaHeight), "empty"));
    EXPECT_EQ(GdiLiveCount(), gdiBefore);
    Release(image);
}

TEST(DrawNothing, EmptyBoundsOnTheKeyPathLeaveTheDestination)
{
    ImagePtr image(CraftImage(4, 4, 8, 2));
    EXPECT_TRUE(SamePicture(DrawnOnPattern(image.get(), kLeft, 1000), PatternPicture(kAreaWidth, kAreaHeight),
                            "empty_bounds"));
}

TEST(DrawResources, ThousandDrawsOfEachPathReleaseEverything)
{
    ImagePtr rgba = RgbaPicture();
    ImagePtr rgb(CraftImage(8, 6, 8, 2));
    MemoryTarget target(kAreaWidth, kAreaHeight);
    const int32_t gdiBefore = GdiLiveCount(), objectsBefore = Obj::LiveCount();
    for (int i = 0; i < 1000; ++i) {
        rgba->Draw(target.Dc(), kLeft, kTop, 1000, 1000, kBlack);
        rgb->Draw(target.Dc(), kLeft, kTop, kLeft + 4, 1000, kBlack);
    }
    EXPECT_EQ(GdiLiveCount(), gdiBefore);
    EXPECT_EQ(Obj::LiveCount(), objectsBefore);
    // The context is still usable: nothing was left selected into it.
    EXPECT_EQ(GetCurrentObject(target.Dc(), OBJ_BITMAP) != nullptr, true);
}

// The pixels' section or the alpha plane's block, of rows of 1024 bytes.
struct KeptMemory {
    bool Sections;
    void* Section = nullptr;

    uint8_t* Create(int32_t rows, bool zeroFill)
    {
        const size_t bytes = 1024 * static_cast<size_t>(rows);
        if (!Sections)
            return CreatePlaneMemory(bytes, zeroFill);
        BitmapInfo info{};
        info.Header.Size = sizeof(DibHeader);
        info.Header.Width = 1024;
        info.Header.Height = rows;
        info.Header.Planes = 1;
        info.Header.BitCount = 8;
        return CreatePixelMemory(info, bytes, &Section, zeroFill);
    }
    void Free(uint8_t* memory) { Sections ? FreePixelMemory(Section, memory) : FreePlaneMemory(memory); }
    // Whether memory, just made unfilled for rows, is what was made for
    // firstRows and filled with 0x5A: a new section holds the system's
    // zeroes, a new block exactly what was asked.
    bool Reused(const uint8_t* memory, int32_t firstRows, int32_t rows) const
    {
        return Sections ? memory[1024 * static_cast<size_t>(rows) - 1] == 0x5A
                        : _msize(const_cast<uint8_t*>(memory)) == 1024 * static_cast<size_t>(firstRows);
    }
};

// What a picture frees is kept for the next picture that fits it without
// wasting three quarters of it (nothing over 32 MB); anything else, and
// anything it replaces, goes back.
TEST(PixelMemory, AFreedSectionOrPlaneServesTheNextPictureItFits)
{
    struct Case {
        int32_t FirstRows, NextRows;
        bool Reused;
    };
    const Case cases[] = {{64, 64, true}, {64, 17, true}, {64, 16, false}, {64, 65, false}, {32769, 8193, false}};
    DropSparePixelMemory();
    const int32_t before = GdiLiveCount();
    for (bool sections : {true, false})
        for (const Case& c : cases) {
            const std::string where = std::string(sections ? "section" : "plane") + " of " +
                                      std::to_string(c.FirstRows) + " rows, then " + std::to_string(c.NextRows);
            const int32_t held = sections ? 1 : 0;
            const size_t bytes = 1024 * static_cast<size_t>(c.NextRows);
            KeptMemory kept{sections};
            uint8_t* memory = kept.Create(c.FirstRows, false);
            ASSERT_NE(memory, nullptr) << where;
            std::memset(memory, 0x5A, 1024 * static_cast<size_t>(c.FirstRows));
            kept.Free(memory);
            memory = kept.Create(c.NextRows, false);
            ASSERT_NE(memory, nullptr) << where;
            EXPECT_EQ(kept.Reused(memory, c.FirstRows, c.NextRows), c.Reused) << where;
            EXPECT_EQ(GdiLiveCount(), before + held) << where;
            std::memset(memory, 0x5A, bytes);
            kept.Free(memory);
            EXPECT_EQ(GdiLiveCount(), before + held) << where;
            // Asked for zeroes, kept memory gives them too.
            memory = kept.Create(c.NextRows, true);
            ASSERT_NE(memory, nullptr) << where;
            EXPECT_EQ(std::count(memory, memory + bytes, 0), static_cast<ptrdiff_t>(bytes)) << where;
            kept.Free(memory);
            DropSparePixelMemory();
            EXPECT_EQ(GdiLiveCount(), before) << where;
        }
    // Two sections freed in a row: one is kept, the other goes back.
    KeptMemory first{true}, second{true};
    uint8_t* pixels[2] = {first.Create(64, false), second.Create(64, false)};
    first.Free(pixels[0]);
    second.Free(pixels[1]);
    EXPECT_EQ(GdiLiveCount(), before + 1);
    DropSparePixelMemory();
    EXPECT_EQ(GdiLiveCount(), before);
}

}  // namespace
