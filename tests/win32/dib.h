// The bitmap description every Windows test reads and writes pixels with.
#pragma once

#include <windows.h>

#include <cstdint>

// 32 bits per pixel, rows top-down: 0x00RRGGBB at y * width + x.
inline BITMAPINFO TopDown32(int32_t width, int32_t height)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}
