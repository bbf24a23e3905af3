// What the view's tests share: a host window with a known pattern, a message
// pump, pixel read-back, an independent decoder (stb_image) with the blend
// rule as the oracle, and a fixture that starts and stops the library around
// each case and checks that nothing outlives it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Control;

struct ViewBox {
    int X, Y, Width, Height;
};

constexpr int kHostWidth = 560;
constexpr int kHostHeight = 440;
// Large enough for every sample picture.
constexpr ViewBox kViewBox{40, 40, 480, 360};

// 0x00RRGGBB per pixel, rows top-down.
struct Pixels {
    int Width = 0;
    int Height = 0;
    std::vector<uint32_t> Data;

    uint32_t At(int x, int y) const { return Data[size_t(y) * Width + x]; }
};

// The host's own colour at (x, y): differs from its neighbours in every
// channel and is never pure black, so any misplaced pixel shows.
uint32_t HostPatternColor(int x, int y);
// What a TestHost shows under the view box, the view's own window aside.
Pixels HostPixelsUnderView(ViewBox box = kViewBox);

// A visible window painted with HostPatternColor. Top-level (a popup at the
// screen's origin) without a parent, else a child filling the parent.
class TestHost {
public:
    explicit TestHost(HWND parent = nullptr);
    ~TestHost();
    HWND Handle() const { return handle; }
    // Destroys the window now; the destructor then does nothing.
    void Destroy();

private:
    HWND handle = nullptr;
};

// Dispatches messages until done() holds or the time is up; waits in
// MsgWaitForMultipleObjects, never in Sleep. A WM_QUIT taken here is counted
// in QuitMessagesSeen and not acted on.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
void PumpFor(DWORD ms);
extern int QuitMessagesSeen;

// What the window shows at (x, y, w, h) of its client area, children included.
Pixels ReadClient(HWND window, int x, int y, int width, int height);
// The whole picture of a device-dependent bitmap.
Pixels ReadBitmap(HBITMAP bitmap);
Pixels Crop(const Pixels& source, int x, int y, int width, int height);

// A mouse press and release at the middle of the window, as posted messages.
void PostClick(HWND window, UINT down = WM_LBUTTONDOWN, UINT up = WM_LBUTTONUP);

// A PNG file decoded by stb_image to 8-bit RGBA (16-bit samples keep their
// high byte), with the way the renderer draws it.
struct OraclePicture {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Rgba;
    // Grey and truecolour pictures without alpha are drawn with black as the
    // key colour; all others (the samples' palette picture carries several
    // partial alphas) are blended.
    bool ColourKeyed = false;
    // An animation's later frames of its first play, as the plug-in's own
    // animation reader composes them (the native suite holds that reader to
    // an independent composer): the view may show any of them.
    std::vector<std::vector<uint8_t>> LaterFrames;
};
bool DecodeWithOracle(const std::string& path, OraclePicture& picture);
void AddLaterFrames(const std::string& path, OraclePicture& picture);

// (s * a + (255 - a) * d + 255) >> 8: a = 255 gives s, a = 0 gives d.
uint8_t BlendChannel(uint32_t s, uint32_t a, uint32_t d);
// The view as it must look: the background, and the picture drawn over it
// from the top-left corner.
Pixels ExpectedView(const Pixels& background, const OraclePicture& picture);

testing::AssertionResult SamePixels(const Pixels& actual, const Pixels& expected);
// The picture, or one of its later frames, drawn over the background.
testing::AssertionResult ShowsPicture(const Pixels& actual, const Pixels& background, const OraclePicture& picture);

// Starts the library in this process (the test program's module stands in
// for the DLL) before each case and stops it after, then checks that every
// object and GDI object made in between is gone.
class ViewFixture : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A top-level host (or a child host inside a top-level frame), handed to
    // SetParentWindow and given the view rectangle with Draw.
    HWND StartWithHost(bool childHost = false, ViewBox box = kViewBox);
    // Until the form is a visible child of the host and the capture has run,
    // then a moment for the paint that follows.
    bool WaitForCapture();
    Control* Form() const;
    HWND FormWindow() const;

    std::unique_ptr<TestHost> frame;  // only for a child host
    std::unique_ptr<TestHost> host;

private:
    int32_t baseObjects = 0;
    int32_t baseGdi = 0;
};
