// What the exports keep for the host, shared with the view.
#pragma once

#include <windows.h>

#include <cstdint>

struct ViewRect {
    int32_t X = 0, Y = 0, Width = 0, Height = 0;
};

// Read by the view: the re-parenting tick (on the timer thread) and the capture.
extern HWND volatile HostWindow;
extern ViewRect ViewRectangle;
