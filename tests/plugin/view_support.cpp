#include "tests/plugin/view_support.h"

#include <algorithm>

#include "plugin/pngplug.h"
#include "plugin/view.h"
#include "png/animation/animation.h"
#include "png/image.h"
#include "png/render/rgba_view.h"
#include "tests/win32/dib.h"
#include "winlayer/winlayer.h"

int QuitMessagesSeen = 0;

namespace {

constexpr char kHostClass[] = "ViewTestHost";
constexpr DWORD kCaptureTimeoutMs = 3000;
constexpr DWORD kPaintSettleMs = 120;

void PaintPattern(HDC dc)
{
    std::vector<uint32_t> bits(size_t(kHostWidth) * kHostHeight);
    for (int y = 0; y < kHostHeight; ++y)
        for (int x = 0; x < kHostWidth; ++x)
            bits[size_t(y) * kHostWidth + x] = HostPatternColor(x, y);
    BITMAPINFO info = TopDown32(kHostWidth, kHostHeight);
    SetDIBitsToDevice(dc, 0, 0, kHostWidth, kHostHeight, 0, 0, 0, kHostHeight, bits.data(), &info, DIB_RGB_COLORS);
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND)
        return 1;
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        PaintPattern(BeginPaint(window, &paint));
        EndPaint(window, &paint);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterHostClass()
{
    WNDCLASSA windowClass{};
    if (GetClassInfoA(GetModuleHandleA(nullptr), kHostClass, &windowClass))
        return;
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.lpszClassName = kHostClass;
    RegisterClassA(&windowClass);
}

}  // namespace

uint32_t HostPatternColor(int x, int y)
{
    const uint32_t red = (x * 7 + y * 3 + 40) & 0xFF;
    const uint32_t green = (x * 3 + y * 11 + 90) & 0xFF;
    const uint32_t blue = (x * 13 + y * 5 + 150) & 0xFF;
    return red << 16 | green << 8 | (blue | 1);
}

TestHost::TestHost(HWND parent)
{
    RegisterHostClass();
    const DWORD style = (parent ? WS_CHILD : WS_POPUP) | WS_VISIBLE | WS_CLIPCHILDREN;
    handle = CreateWindowExA(0, kHostClass, "view test host", style, 0, 0, kHostWidth, kHostHeight, parent, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    UpdateWindow(handle);
}

TestHost::~TestHost() { Destroy(); }

void TestHost::Destroy()
{
    if (handle && IsWindow(handle))
        DestroyWindow(handle);
    handle = nullptr;
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                ++QuitMessagesSeen;
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done())
            return true;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(10, timeoutMs - elapsed), QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}

Pixels ReadClient(HWND window, int x, int y, int width, int height)
{
    Pixels pixels{width, height, std::vector<uint32_t>(size_t(width) * height)};
    BITMAPINFO info = TopDown32(width, height);
    void* bits = nullptr;
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (memory && section && bits) {
        HGDIOBJ old = SelectObject(memory, section);
        BitBlt(memory, 0, 0, width, height, screen, x, y, SRCCOPY);
        GdiFlush();
        for (size_t i = 0; i < pixels.Data.size(); ++i)
            pixels.Data[i] = static_cast<const uint32_t*>(bits)[i] & 0xFFFFFF;
        SelectObject(memory, old);
    }
    if (section)
        DeleteObject(section);
    if (memory)
        DeleteDC(memory);
    ReleaseDC(window, screen);
    return pixels;
}

Pixels ReadBitmap(HBITMAP bitmap)
{
    BITMAP description{};
    if (!bitmap || !GetObjectA(bitmap, sizeof description, &description))
        return {};
    Pixels pixels{description.bmWidth, description.bmHeight,
                  std::vector<uint32_t>(size_t(description.bmWidth) * description.bmHeight)};
    BITMAPINFO info = TopDown32(pixels.Width, pixels.Height);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, pixels.Height, pixels.Data.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    for (uint32_t& pixel : pixels.Data)
        pixel &= 0xFFFFFF;
    return pixels;
}

Pixels Crop(const Pixels& source, int x, int y, int width, int height)
{
    Pixels part{width, height, std::vector<uint32_t>(size_t(width) * height)};
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column)
            part.Data[size_t(row) * width + column] = source.At(x + column, y + row);
    return part;
}

void PostClick(HWND window, UINT down, UINT up)
{
    RECT client{};
    GetClientRect(window, &client);
    const LPARAM at = MAKELPARAM(client.right / 2, client.bottom / 2);
    PostMessageA(window, down, down == WM_RBUTTONDOWN ? MK_RBUTTON : down == WM_MBUTTONDOWN ? MK_MBUTTON : MK_LBUTTON,
                 at);
    PostMessageA(window, up, 0, at);
}

uint8_t BlendChannel(uint32_t s, uint32_t a, uint32_t d)
{
    return static_cast<uint8_t>((s * a + (255 - a) * d + 255) >> 8);
}

Pixels ExpectedView(const Pixels& background, const OraclePicture& picture)
{
    Pixels expected = background;
    for (int y = 0; y < std::min(picture.Height, background.Height); ++y) {
        for (int x = 0; x < std::min(picture.Width, background.Width); ++x) {
            const uint8_t* p = &picture.Rgba[(size_t(y) * picture.Width + x) * 4];
            const uint32_t d = background.At(x, y);
            uint32_t& out = expected.Data[size_t(y) * expected.Width + x];
            if (picture.ColourKeyed) {
                const bool key = p[0] == 0 && p[1] == 0 && p[2] == 0;
                out = key ? d : (uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]);
            } else {
                out = uint32_t{BlendChannel(p[0], p[3], d >> 16 & 0xFF)} << 16 |
                      uint32_t{BlendChannel(p[1], p[3], d >> 8 & 0xFF)} << 8 | BlendChannel(p[2], p[3], d & 0xFF);
            }
        }
    }
    return expected;
}

void AddLaterFrames(const std::string& path, OraclePicture& picture)
{
    PngAnimation* animation = OpenAnimation(path.c_str());
    for (uint32_t i = 1; animation && !animation->Refusal && i < animation->Layout.FrameCount; ++i) {
        if (!animation->NextFrame())
            break;
        std::vector<uint8_t> frame(size_t(picture.Width) * picture.Height * 4);
        for (int y = 0; y < picture.Height; ++y)
            ReadRgbaRow(*animation->Canvas, y, &frame[size_t(y) * picture.Width * 4]);
        picture.LaterFrames.push_back(frame);
    }
    Release(animation);
}

testing::AssertionResult ShowsPicture(const Pixels& actual, const Pixels& background, const OraclePicture& picture)
{
    const testing::AssertionResult first = SamePixels(actual, ExpectedView(background, picture));
    OraclePicture frame = picture;
    for (size_t i = 0; !first && i < picture.LaterFrames.size(); ++i) {
        frame.Rgba = picture.LaterFrames[i];
        frame.ColourKeyed = false;
        if (SamePixels(actual, ExpectedView(background, frame)))
            return testing::AssertionSuccess();
    }
    return first;
}

testing::AssertionResult SamePixels(const Pixels& actual, const Pixels& expected)
{
    if (actual.Width != expected.Width || actual.Height != expected.Height)
        return testing::AssertionFailure() << "size " << actual.Width << "x" << actual.Height << ", expected "
                                           << expected.Width << "x" << expected.Height;
    int mismatches = 0;
    auto failure = testing::AssertionFailure();
    for (int y = 0; y < actual.Height; ++y) {
        for (int x = 0; x < actual.Width; ++x) {
            if (actual.At(x, y) == expected.At(x, y))
                continue;
            if (++mismatches <= 5)
                failure << "(" << x << ", " << y << "): " << std::hex << actual.At(x, y) << " expected "
                        << expected.At(x, y) << std::dec << "; ";
        }
    }
    if (mismatches == 0)
        return testing::AssertionSuccess();
    return failure << mismatches << " pixels differ";
}

void ViewFixture::SetUp()
{
    QuitMessagesSeen = 0;
    baseObjects = Obj::LiveCount();
    baseGdi = GdiLiveCounts().Total();
    StartLibrary(GetModuleHandleA(nullptr));
}

void ViewFixture::TearDown()
{
    host.reset();
    frame.reset();
    PumpFor(30);
    StopLibrary();
    EXPECT_EQ(Obj::LiveCount(), baseObjects) << "objects outlived the library";
    const GdiCounts left = GdiLiveCounts();
    EXPECT_EQ(left.Total(), baseGdi) << "GDI objects outlived the library: " << left.DCs << " DCs, " << left.WindowDCs
                                     << " window DCs, " << left.Bitmaps << " bitmaps, " << left.Brushes
                                     << " brushes, " << left.Regions << " regions, " << left.Others << " others";
}

HWND ViewFixture::StartWithHost(bool childHost, ViewBox box)
{
    if (childHost) {
        frame = std::make_unique<TestHost>();
        host = std::make_unique<TestHost>(frame->Handle());
    } else {
        host = std::make_unique<TestHost>();
    }
    PumpFor(30);
    SetParentWindow(host->Handle());
    Draw(0, box.X, box.Y, box.Width, box.Height);
    return host->Handle();
}

bool ViewFixture::WaitForCapture()
{
    const bool captured = PumpUntil(
        [this] {
            HWND form = FormWindow();
            return form && IsWindowVisible(form) && GetAncestor(form, GA_PARENT) == host->Handle() &&
                   BackgroundBitmap != nullptr;
        },
        kCaptureTimeoutMs);
    PumpFor(kPaintSettleMs);
    return captured;
}

Control* ViewFixture::Form() const { return PluginView ? PluginView->Form : nullptr; }

HWND ViewFixture::FormWindow() const { return Form() ? Form()->Window : nullptr; }

Pixels HostPixelsUnderView(ViewBox box)
{
    Pixels pixels{box.Width, box.Height, std::vector<uint32_t>(size_t(box.Width) * box.Height)};
    for (int y = 0; y < box.Height; ++y)
        for (int x = 0; x < box.Width; ++x)
            pixels.Data[size_t(y) * box.Width + x] = HostPatternColor(box.X + x, box.Y + y);
    return pixels;
}
