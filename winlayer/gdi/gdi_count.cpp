#include "winlayer/gdi/gdi_count.h"

namespace {

GdiCounts live;

template <typename Handle>
Handle Counted(Handle handle, int32_t& counter)
{
    if (handle)
        ++counter;
    return handle;
}

int32_t& CounterOf(DWORD objectType)
{
    switch (objectType) {
    case OBJ_BITMAP:
        return live.Bitmaps;
    case OBJ_BRUSH:
        return live.Brushes;
    case OBJ_REGION:
        return live.Regions;
    default:
        return live.Others;
    }
}

}  // namespace

GdiCounts GdiLiveCounts() { return live; }

int32_t GdiLiveCount() { return live.Total(); }

HDC GdiCreateCompatibleDC(HDC dc) { return Counted(CreateCompatibleDC(dc), live.DCs); }

BOOL GdiDeleteDC(HDC dc)
{
    BOOL deleted = dc ? DeleteDC(dc) : FALSE;
    if (deleted)
        --live.DCs;
    return deleted;
}

HDC GdiGetDC(HWND window) { return Counted(GetDC(window), live.WindowDCs); }

int GdiReleaseDC(HWND window, HDC dc)
{
    int released = dc ? ReleaseDC(window, dc) : 0;
    if (released)
        --live.WindowDCs;
    return released;
}

HBITMAP GdiCreateCompatibleBitmap(HDC dc, int width, int height)
{
    return Counted(CreateCompatibleBitmap(dc, width, height), live.Bitmaps);
}

HBITMAP GdiCreateBitmap(int width, int height, UINT planes, UINT bitCount, const void* bits)
{
    return Counted(CreateBitmap(width, height, planes, bitCount, bits), live.Bitmaps);
}

HBITMAP GdiCreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits)
{
    return Counted(CreateDIBSection(dc, info, usage, bits, nullptr, 0), live.Bitmaps);
}

HBITMAP GdiCreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                          const BITMAPINFO* info, UINT usage)
{
    return Counted(CreateDIBitmap(dc, header, init, bits, info, usage), live.Bitmaps);
}

HBRUSH GdiCreateSolidBrush(COLORREF color) { return Counted(CreateSolidBrush(color), live.Brushes); }

HBRUSH GdiCreateBrushIndirect(const LOGBRUSH* brush) { return Counted(CreateBrushIndirect(brush), live.Brushes); }

HRGN GdiCreateRectRgn(int left, int top, int right, int bottom)
{
    return Counted(CreateRectRgn(left, top, right, bottom), live.Regions);
}

BOOL GdiDeleteObject(HGDIOBJ object)
{
    if (!object)
        return FALSE;
    // The type must be read while the object still exists.
    int32_t& counter = CounterOf(GetObjectType(object));
    BOOL deleted = DeleteObject(object);
    if (deleted)
        --counter;
    return deleted;
}

HBITMAP GdiCopyBitmap(HBITMAP bitmap)
{
    if (!bitmap)
        return nullptr;
    return Counted(static_cast<HBITMAP>(CopyImage(bitmap, IMAGE_BITMAP, 0, 0, 0)), live.Bitmaps);
}
