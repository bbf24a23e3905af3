// Pixel memory as a bitmap section, so the platform can draw straight from it.
#include <cstdlib>
#include <cstring>

#include "png/image.h"
#include "winlayer/gdi/gdi_count.h"

namespace {

// What the section described by info holds; 0 for a description GDI would
// not take.
uint64_t SectionBytes(const DibHeader& header)
{
    if (header.Width <= 0 || header.Height == 0 || header.BitCount == 0)
        return 0;
    uint64_t width = static_cast<uint32_t>(header.Width);
    uint64_t height = header.Height < 0 ? 0 - static_cast<int64_t>(header.Height) : header.Height;
    return ((width * header.BitCount + 31) & ~uint64_t{31}) / 8 * height;
}

}  // namespace

uint8_t* CreatePixelMemory(const BitmapInfo& info, uint64_t byteCount, void** section, bool zeroFill)
{
    *section = nullptr;
    // A request beyond the section would let the decoder write past it; one
    // beyond the address space cannot be had at all.
    uint64_t available = SectionBytes(info.Header);
    if (byteCount == 0 || byteCount > available || available > SIZE_MAX / 2)
        return nullptr;
    void* bits = nullptr;
    HBITMAP bitmap = GdiCreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits);
    if (!bitmap || !bits) {
        GdiDeleteObject(bitmap);
        return nullptr;
    }
    if (zeroFill)
        std::memset(bits, 0, static_cast<size_t>(byteCount));
    *section = bitmap;
    return static_cast<uint8_t*>(bits);
}

void FreePixelMemory(void* section, uint8_t*)
{
    // The pixels belong to the section and go with it.
    GdiDeleteObject(static_cast<HBITMAP>(section));
}

// The section's bits are filled byte by byte when asked for (above): never free.
bool ZeroFillIsFree(uint64_t) { return false; }
