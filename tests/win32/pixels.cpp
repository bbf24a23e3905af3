#include "tests/win32/pixels.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/win32/dib.h"

namespace {

// A 32-bit top-down section selected into a memory context. These helpers
// use GDI directly so the project's own object count is not disturbed.
struct Section {
    HDC Dc = nullptr;
    HBITMAP Bitmap = nullptr;
    HGDIOBJ Previous = nullptr;
    uint32_t* Bits = nullptr;

    Section(int32_t width, int32_t height)
    {
        BITMAPINFO info = TopDown32(width, height);
        void* bits = nullptr;
        Dc = CreateCompatibleDC(nullptr);
        Bitmap = CreateDIBSection(Dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        Bits = static_cast<uint32_t*>(bits);
        Previous = SelectObject(Dc, Bitmap);
    }
    ~Section()
    {
        SelectObject(Dc, Previous);
        DeleteObject(Bitmap);
        DeleteDC(Dc);
    }
};

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

uint32_t PatternColor(int32_t x, int32_t y)
{
    return Rgb32(1 + (x * 37 + y * 11) % 253, 1 + (x * 13 + y * 59) % 253, 1 + (x * 71 + y * 29) % 253);
}

Picture32 PatternPicture(int32_t width, int32_t height)
{
    Picture32 picture(width, height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            picture.At(x, y) = PatternColor(x, y);
    return picture;
}

void PutPicture(HDC dc, int32_t x, int32_t y, const Picture32& picture)
{
    Section section(picture.Width, picture.Height);
    if (!section.Bits)
        return;
    std::memcpy(section.Bits, picture.Pixels.data(), picture.Pixels.size() * 4);
    BitBlt(dc, x, y, picture.Width, picture.Height, section.Dc, 0, 0, SRCCOPY);
    GdiFlush();
}

void PaintPattern(HDC dc, int32_t width, int32_t height) { PutPicture(dc, 0, 0, PatternPicture(width, height)); }

Picture32 ReadBack(HDC dc, int32_t x, int32_t y, int32_t width, int32_t height)
{
    Picture32 picture(width, height);
    Section section(width, height);
    if (!section.Bits)
        return picture;
    BitBlt(section.Dc, 0, 0, width, height, dc, x, y, SRCCOPY);
    GdiFlush();
    for (size_t i = 0; i < picture.Pixels.size(); ++i)
        picture.Pixels[i] = section.Bits[i] & 0xFFFFFF;
    return picture;
}

std::string MismatchFolder()
{
    if (const char* folder = std::getenv("PIXEL_MISMATCH_DIR"))
        return folder;
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    return temp;
}

bool SaveBmp(const Picture32& picture, const std::string& path)
{
    BITMAPINFO info = TopDown32(picture.Width, picture.Height);
    info.bmiHeader.biSizeImage = DWORD(picture.Pixels.size() * 4);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + info.bmiHeader.biSizeImage;
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    bool written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                   std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                   std::fwrite(picture.Pixels.data(), 4, picture.Pixels.size(), out) == picture.Pixels.size();
    return std::fclose(out) == 0 && written;
}

testing::AssertionResult SamePicture(const Picture32& actual, const Picture32& expected, const std::string& name)
{
    if (actual.Width != expected.Width || actual.Height != expected.Height)
        return testing::AssertionFailure() << name << ": size " << actual.Width << "x" << actual.Height
                                           << " instead of " << expected.Width << "x" << expected.Height;
    int32_t mismatches = 0;
    testing::AssertionResult failure = testing::AssertionFailure();
    for (int32_t y = 0; y < actual.Height; ++y)
        for (int32_t x = 0; x < actual.Width; ++x)
            if (actual.At(x, y) != expected.At(x, y) && ++mismatches <= 5) {
                char line[96];
                std::snprintf(line, sizeof line, "\n  (%d, %d): %06X instead of %06X", int(x), int(y),
                              unsigned(actual.At(x, y)), unsigned(expected.At(x, y)));
                failure << line;
            }
    if (mismatches == 0)
        return testing::AssertionSuccess();
    std::string base = MismatchFolder() + "\\" + name;
    SaveBmp(actual, base + ".actual.bmp");
    SaveBmp(expected, base + ".expected.bmp");
    return failure << "\n" << name << ": " << mismatches << " pixels differ; pictures saved as " << base
                   << ".{actual,expected}.bmp";
}

TestWindow::TestWindow(int32_t width, int32_t height)
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &PlainWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "pixels_TestWindow";
    RegisterClassA(&windowClass);  // already registered by an earlier window: fine
    handle = CreateWindowExA(WS_EX_TOPMOST, "pixels_TestWindow", "pixels", WS_POPUP | WS_VISIBLE, 0, 0, width, height,
                             nullptr, nullptr, windowClass.hInstance, nullptr);
    UpdateWindow(handle);
    PumpMessages();
}

TestWindow::~TestWindow()
{
    DestroyWindow(handle);
    PumpMessages();
}

void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
