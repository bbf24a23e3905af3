#include "winlayer/gdi/bitmap.h"

#include <algorithm>

#include "winlayer/gdi/canvas.h"
#include "winlayer/gdi/gdi_count.h"

namespace {

// A bitmap in the screen's format: made with the screen's own device
// context, since a memory context would give a monochrome one.
HBITMAP CreateScreenBitmap(int32_t width, int32_t height)
{
    HDC screen = GdiGetDC(nullptr);
    HBITMAP bitmap = GdiCreateCompatibleBitmap(screen, width, height);
    GdiReleaseDC(nullptr, screen);
    return bitmap;
}

void CanvasChanged(void* context, Canvas* canvas)
{
    if (canvas->BrushTool)
        static_cast<Bitmap*>(context)->BkColor = canvas->BrushTool->Description.Color;
}

// Copies what old holds into the top-left corner of dc; only the old
// bitmap's own pixels, whatever the platform does beyond a source's edge.
void CopyOldPicture(HDC dc, HBITMAP old, int32_t width, int32_t height)
{
    BITMAP size{};
    if (!GetObjectA(old, sizeof size, &size))
        return;
    HDC source = GdiCreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(source, old);
    BitBlt(dc, 0, 0, std::min<int32_t>(width, size.bmWidth), std::min<int32_t>(height, size.bmHeight), source, 0,
           0, SRCCOPY);
    SelectObject(source, previous);
    GdiDeleteDC(source);
}

}  // namespace

Bitmap* NewBitmap(int32_t width, int32_t height)
{
    Bitmap* bitmap = Create<Bitmap>();
    if (!bitmap)
        return nullptr;
    bitmap->Width = width;
    bitmap->Height = height;
    bitmap->HandleType = 1;
    if (width != 0 && height != 0)
        bitmap->Handle = CreateScreenBitmap(width, height);
    return bitmap;
}

HBITMAP Bitmap::GetHandle()
{
    if (Empty())
        return nullptr;
    DetachCanvas();
    return Handle;
}

Canvas* Bitmap::GetCanvas()
{
    if (Empty() || !GetHandle())
        return nullptr;
    if (!OwnCanvas) {
        // Made before its context: a canvas that cannot be had leaves none behind.
        OwnCanvas = NewCanvas(nullptr);
        if (!OwnCanvas)
            return nullptr;
        if (HDC dc = GdiCreateCompatibleDC(nullptr))
            OwnCanvas->SetHandle(dc);
        OwnCanvas->OnChange = {&CanvasChanged, this};
        GraphicTool* brush = OwnCanvas->Brush();
        if (brush && BkColor != 0)
            brush->SetColor(BkColor);
    }
    if (!OwnCanvas->Handle) {
        OwnCanvas->SetHandle(GdiCreateCompatibleDC(nullptr));
        CanvasSelection = nullptr;
    }
    if (!CanvasSelection && OwnCanvas->Handle)
        CanvasSelection = SelectObject(OwnCanvas->Handle, Handle);
    return OwnCanvas;
}

void Bitmap::DetachCanvas()
{
    if (!CanvasSelection || !OwnCanvas)
        return;
    SelectObject(OwnCanvas->Handle, CanvasSelection);
    CanvasSelection = nullptr;
}

void Bitmap::SetWidth(int32_t value)
{
    if (value == Width)
        return;
    Width = value;
    Resize();
}

void Bitmap::SetHeight(int32_t value)
{
    if (value == Height)
        return;
    HandleType = 1;
    Height = value;
    Resize();
}

void Bitmap::Resize()
{
    if (Empty())
        return;
    DetachCanvas();
    HBITMAP fresh = CreateScreenBitmap(Width, Height);
    if (fresh) {
        HDC dc = GdiCreateCompatibleDC(nullptr);
        HGDIOBJ previous = SelectObject(dc, fresh);
        RECT all{0, 0, Width, Height};
        HBRUSH fill = GdiCreateSolidBrush(ColorToRgb(BkColor));
        FillRect(dc, &all, fill);
        GdiDeleteObject(fill);
        if (Handle)
            CopyOldPicture(dc, Handle, Width, Height);
        SelectObject(dc, previous);
        GdiDeleteDC(dc);
    }
    // A failed creation leaves Handle 0, as NewBitmap does.
    GdiDeleteObject(Handle);
    Handle = fresh;
}

void Bitmap::Destroy()
{
    DetachCanvas();
    Release(OwnCanvas);
    OwnCanvas = nullptr;
    GdiDeleteObject(Handle);
    Handle = nullptr;
    Width = 0;
    Height = 0;
    Obj::Destroy();
}
