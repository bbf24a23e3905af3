#include "png/render/draw_win32.h"

#include <algorithm>
#include <cstdlib>

#include "png/render/blend.h"
#include "winlayer/gdi/canvas.h"
#include "winlayer/gdi/gdi_count.h"

namespace {

// A memory device context with one bitmap selected. Owns both.
struct Surface {
    HDC Dc = nullptr;
    HBITMAP Bitmap = nullptr;
    HGDIOBJ Previous = nullptr;

    bool Ready() const { return Dc && Bitmap && Previous; }
};

void Attach(Surface& surface, HBITMAP bitmap)
{
    surface.Bitmap = bitmap;
    if (surface.Dc && bitmap)
        surface.Previous = SelectObject(surface.Dc, bitmap);
}

void Free(Surface& surface)
{
    if (surface.Previous)
        SelectObject(surface.Dc, surface.Previous);
    GdiDeleteObject(surface.Bitmap);
    GdiDeleteDC(surface.Dc);
    surface = {};
}

// The destination is read and written at the picture's full size; the
// caller's bounds do not clip this path.
void BlendThrough(HDC dc, const RECT& rect, const BlendSource& source, HDC memory, void* bits)
{
    const int32_t w = source.Width, h = source.Height;
    StretchBlt(memory, 0, 0, w, h, dc, rect.left, rect.top, w, h, SRCCOPY);
    // GDI may batch the fetch: the section's memory must hold it before the
    // kernel reads it.
    GdiFlush();
    BlendRows(static_cast<uint8_t*>(bits), source);
    StretchBlt(dc, rect.left, rect.top, w, h, memory, 0, 0, w, h, SRCCOPY);
}

// The four surfaces of the colour-key path, all compatible with dc.
struct KeySurfaces {
    Surface Image, InverseMask, Mask, Work;
};

bool MakeKeySurfaces(KeySurfaces& s, HDC dc, const uint8_t* pixels, const BitmapInfo& info, int32_t w, int32_t h)
{
    s.Image.Dc = GdiCreateCompatibleDC(dc);
    // Device-dependent, so palette, grey and true-colour pictures all arrive
    // in the destination's format.
    Attach(s.Image, GdiCreateDIBitmap(dc, reinterpret_cast<const BITMAPINFOHEADER*>(&info.Header), CBM_INIT, pixels,
                                      reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS));
    s.InverseMask.Dc = GdiCreateCompatibleDC(dc);
    s.Mask.Dc = GdiCreateCompatibleDC(dc);
    s.Work.Dc = GdiCreateCompatibleDC(dc);
    Attach(s.InverseMask, GdiCreateBitmap(w, h, 1, 1, nullptr));
    Attach(s.Mask, GdiCreateBitmap(w, h, 1, 1, nullptr));
    Attach(s.Work, GdiCreateCompatibleBitmap(dc, w, h));
    return s.Image.Ready() && s.InverseMask.Ready() && s.Mask.Ready() && s.Work.Ready();
}

// Mask bits are 1 where the picture has the key colour: a colour-to-
// monochrome copy maps the source's background colour to 1. Copied back into
// colour contexts, 1 bits become white and 0 bits black (the defaults).
void CombineThroughMasks(HDC dc, const RECT& rect, KeySurfaces& s, int32_t w, int32_t h, int32_t w0, int32_t h0,
                         COLORREF keyRgb)
{
    COLORREF oldBk = SetBkColor(s.Image.Dc, keyRgb);
    StretchBlt(s.Mask.Dc, 0, 0, w, h, s.Image.Dc, 0, 0, w0, h0, SRCCOPY);
    SetBkColor(s.Image.Dc, oldBk);
    BitBlt(s.InverseMask.Dc, 0, 0, w, h, s.Mask.Dc, 0, 0, NOTSRCCOPY);
    BitBlt(s.Work.Dc, 0, 0, w, h, dc, rect.left, rect.top, SRCCOPY);
    // Destination kept under key pixels, black elsewhere...
    BitBlt(s.Work.Dc, 0, 0, w, h, s.Mask.Dc, 0, 0, SRCAND);
    // ...the picture black under key pixels (only the temporary copy)...
    StretchBlt(s.Image.Dc, 0, 0, w0, h0, s.InverseMask.Dc, 0, 0, w, h, SRCAND);
    // ...and the two ORed together.
    StretchBlt(s.Work.Dc, 0, 0, w, h, s.Image.Dc, 0, 0, w0, h0, SRCPAINT);
    BitBlt(dc, rect.left, rect.top, w, h, s.Work.Dc, 0, 0, SRCCOPY);
}

}  // namespace

void DrawAlphaBlended(const PngImage& image, HDC dc, const RECT& rect)
{
    BlendSource source = BlendSourceOf(image);
    if (source.Width <= 0 || source.Height <= 0 || int64_t{source.Width} * source.Height * 4 > INT32_MAX)
        return;
    BITMAPINFO work{};
    work.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    work.bmiHeader.biWidth = source.Width;
    work.bmiHeader.biHeight = -source.Height;  // top-down, as BlendRows wants its rows
    work.bmiHeader.biPlanes = 1;
    work.bmiHeader.biBitCount = 32;
    work.bmiHeader.biCompression = BI_RGB;
    HDC memory = GdiCreateCompatibleDC(nullptr);
    if (!memory)
        return;
    void* bits = nullptr;
    HBITMAP section = GdiCreateDIBSection(memory, &work, DIB_RGB_COLORS, &bits);
    if (section && bits) {
        HGDIOBJ previous = SelectObject(memory, section);
        BlendThrough(dc, rect, source, memory, bits);
        SelectObject(memory, previous);
    }
    GdiDeleteObject(section);
    GdiDeleteDC(memory);
}

void DrawColourKeyed(HDC dc, const uint8_t* pixels, const BitmapInfo& bitmapInfo, const RECT& rect, COLORREF keyRgb)
{
    const int32_t w = rect.right - rect.left, h = rect.bottom - rect.top;
    const int64_t w0 = std::abs(int64_t{bitmapInfo.Header.Width}), h0 = std::abs(int64_t{bitmapInfo.Header.Height});
    // Empty bounds would give 1 x 1 stock bitmaps; a picture without pixels
    // (none decoded, or an unsupported format) has nothing to show.
    if (w <= 0 || h <= 0 || w0 <= 0 || h0 <= 0 || w0 > INT32_MAX || h0 > INT32_MAX || !pixels)
        return;
    KeySurfaces surfaces;
    // Drawing with a missing mask or work bitmap would blacken the destination.
    if (MakeKeySurfaces(surfaces, dc, pixels, bitmapInfo, w, h))
        CombineThroughMasks(dc, rect, surfaces, w, h, int32_t(w0), int32_t(h0), keyRgb);
    Free(surfaces.InverseMask);
    Free(surfaces.Mask);
    Free(surfaces.Work);
    Free(surfaces.Image);
}

bool PngImage::Draw(HDC__* dc, int32_t x, int32_t y, int32_t maxRight, int32_t maxBottom, uint32_t keyColour)
{
    const PngHeaderChunk* header = Header();
    if (!header)
        return false;
    // The buffers' own size: the full picture at Reduction 0, which is all the
    // view draws, and never more than the buffers hold otherwise.
    const DibHeader& dib = header->Info.Header;
    RECT rect{x, y, static_cast<LONG>(std::min<int64_t>(int64_t{x} + std::abs(int64_t{dib.Width}), maxRight)),
              static_cast<LONG>(std::min<int64_t>(int64_t{y} + std::abs(int64_t{dib.Height}), maxBottom))};
    if (GetTransparencyMode() == TransparencyMode::alpha)
        DrawAlphaBlended(*this, dc, rect);
    else
        DrawColourKeyed(dc, header->Pixels, header->Info, rect, ColorToRgb(keyColour));
    return true;
}
