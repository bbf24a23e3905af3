// Shared by the window layer's tests: a started layer per test, with the
// live object and GDI counts it must return to, and a message pump.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <functional>

#include "winlayer/winlayer.h"

// Dispatches what arrives for at most timeoutMs, stopping early once done()
// holds. The windows' thread must pump while it waits, never sleep.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

inline void PumpFor(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}

// The colour at (x, y) of a window's client area, read back from the screen.
inline COLORREF ReadPixel(HWND window, int x, int y)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 1;
    info.bmiHeader.biHeight = -1;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, 1, 1, screen, x, y, SRCCOPY);
    GdiFlush();
    uint32_t pixel = *static_cast<uint32_t*>(bits);
    SelectObject(memory, old);
    DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

class LayerTest : public testing::Test {
protected:
    void SetUp() override
    {
        liveObjects = Obj::LiveCount();
        liveGdi = GdiLiveCount();
        StartWindowLayer(GetModuleHandleA(nullptr));
    }

    void TearDown() override
    {
        StopWindowLayer();
        // A quit a test posted must not end the next test's drain.
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
        EXPECT_EQ(Obj::LiveCount(), liveObjects) << "objects leaked";
        EXPECT_EQ(GdiLiveCount(), liveGdi) << "GDI objects leaked";
    }

    int32_t liveObjects = 0;
    int32_t liveGdi = 0;
};
