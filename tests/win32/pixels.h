// Pixel-exact checks of what landed in a device context: paint a known
// pattern, read the context back, compare with a picture computed in the test.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// 0x00RRGGBB per pixel, rows top-down.
struct Picture32 {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint32_t> Pixels;

    Picture32() = default;
    Picture32(int32_t width, int32_t height, uint32_t fill = 0)
        : Width(width), Height(height), Pixels(size_t(width) * height, fill) {}
    uint32_t& At(int32_t x, int32_t y) { return Pixels[size_t(y) * Width + x]; }
    uint32_t At(int32_t x, int32_t y) const { return Pixels[size_t(y) * Width + x]; }
};

constexpr uint32_t Rgb32(uint32_t red, uint32_t green, uint32_t blue) { return red << 16 | green << 8 | blue; }
constexpr uint32_t Red(uint32_t c) { return c >> 16 & 0xFF; }
constexpr uint32_t Green(uint32_t c) { return c >> 8 & 0xFF; }
constexpr uint32_t Blue(uint32_t c) { return c & 0xFF; }

// A colour for every position that differs from its neighbours in every
// channel, never pure black and never pure white.
uint32_t PatternColor(int32_t x, int32_t y);
Picture32 PatternPicture(int32_t width, int32_t height);

// Copies picture into dc at (x, y) through a DIB section, exactly.
void PutPicture(HDC dc, int32_t x, int32_t y, const Picture32& picture);
void PaintPattern(HDC dc, int32_t width, int32_t height);
// BitBlt into a 32-bit top-down DIB section, then GdiFlush.
Picture32 ReadBack(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height);

// Equal, or a failure naming the first mismatches; on a mismatch both
// pictures are saved as BMP files (see MismatchFolder) for a person to look at.
testing::AssertionResult SamePicture(const Picture32& actual, const Picture32& expected, const std::string& name);

// PIXEL_MISMATCH_DIR when set (wine passes the Unix environment on), else the
// temporary folder.
std::string MismatchFolder();
bool SaveBmp(const Picture32& picture, const std::string& path);

// A visible top-level window without frame at (0, 0) of the given client
// size, shown and painted; destroyed by the destructor.
class TestWindow {
public:
    TestWindow(int32_t width, int32_t height);
    ~TestWindow();
    HWND Handle() const { return handle; }

private:
    HWND handle = nullptr;
};

// Runs the messages that are waiting, so that paints happen.
void PumpMessages();
