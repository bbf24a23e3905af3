// Every GDI object this project creates and deletes goes through these
// wrappers, so the number of live objects can be read back by tests: under
// wine GetGuiResources always answers 0, and a leak would otherwise go unseen.
// A creation counts only when it yields a handle, a deletion only when the
// platform accepts it.
#pragma once

#include <windows.h>

#include <cstdint>

struct GdiCounts {
    int32_t DCs = 0;        // memory device contexts
    int32_t WindowDCs = 0;  // device contexts lent by GetDC, until ReleaseDC
    int32_t Bitmaps = 0;    // compatible, monochrome, device-dependent bitmaps and DIB sections
    int32_t Brushes = 0;
    int32_t Regions = 0;
    int32_t Others = 0;     // pens, fonts and anything else deleted through GdiDeleteObject

    int32_t Total() const { return DCs + WindowDCs + Bitmaps + Brushes + Regions + Others; }
};

// Live objects created through the wrappers below, by kind.
GdiCounts GdiLiveCounts();
// All live objects of every kind.
int32_t GdiLiveCount();

HDC GdiCreateCompatibleDC(HDC dc);
BOOL GdiDeleteDC(HDC dc);
HDC GdiGetDC(HWND window);
int GdiReleaseDC(HWND window, HDC dc);

HBITMAP GdiCreateCompatibleBitmap(HDC dc, int width, int height);
HBITMAP GdiCreateBitmap(int width, int height, UINT planes, UINT bitCount, const void* bits);
HBITMAP GdiCreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits);
HBITMAP GdiCreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                          const BITMAPINFO* info, UINT usage);
HBRUSH GdiCreateSolidBrush(COLORREF color);
HBRUSH GdiCreateBrushIndirect(const LOGBRUSH* brush);
HRGN GdiCreateRectRgn(int left, int top, int right, int bottom);
// A new bitmap with the same picture (CopyImage), counted like the others.
HBITMAP GdiCopyBitmap(HBITMAP bitmap);

// The kind is read from the object itself before it goes. Never pass a stock
// object: it was not counted.
BOOL GdiDeleteObject(HGDIOBJ object);
