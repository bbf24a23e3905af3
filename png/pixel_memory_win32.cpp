// Pixel memory as a bitmap section, so the platform can draw straight from
// it, and the alpha plane as a block from the heap.
#include <malloc.h>

#include <cstdlib>
#include <cstring>

#include "png/image.h"
#include "winlayer/base/allocation.h"
#include "winlayer/gdi/gdi_count.h"

namespace {

// The section and the alpha plane of the picture freed last, each until a
// picture takes it. New ones are mapped afresh (a section always, a block
// from the heap when it is large), and every page of them faults and is
// cleared on its first touch, which costs a large picture a sixth of its
// decode; a host that shows pictures in turn frees one just before it loads
// the next, so what it freed is kept for the next that fits it, as a heap
// keeps a block.
HBITMAP volatile spareSection = nullptr;
uint8_t* volatile sparePlane = nullptr;
// Anything above this goes back to the system at once.
constexpr uint64_t kSpareLimit = uint64_t{32} << 20;

// A kept block fits a request of at least a quarter of it, so that a small
// picture does not hold a large one's memory.
bool Fits(uint64_t held, uint64_t wanted) { return held >= wanted && held / 4 < wanted; }

template <typename T>
T Swap(T volatile& slot, T value)
{
    return static_cast<T>(InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&slot), value));
}

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

uint64_t BytesOf(const DIBSECTION& dib)
{
    return uint64_t{static_cast<uint32_t>(dib.dsBm.bmWidthBytes)} * static_cast<uint32_t>(dib.dsBm.bmHeight);
}

// The bits of the kept section when it fits byteCount bytes, else null. GDI
// never reads these pixels (the renderer does), so the shape and colour
// table the section was made with do not matter: the picture's own are in
// its header.
void* SpareBits(HBITMAP section, uint64_t byteCount)
{
    DIBSECTION dib;
    if (GetObjectA(section, sizeof dib, &dib) != sizeof dib)
        return nullptr;
    return Fits(BytesOf(dib), byteCount) ? dib.dsBm.bmBits : nullptr;
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
    HBITMAP bitmap = Swap(spareSection, HBITMAP{});
    if (bitmap && !(bits = SpareBits(bitmap, byteCount))) {
        GdiDeleteObject(bitmap);
        bitmap = nullptr;
    }
    if (!bitmap)
        bitmap = GdiCreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits);
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
    // The pixels belong to the section and go with it, or are kept with it.
    auto* bitmap = static_cast<HBITMAP>(section);
    DIBSECTION dib;
    if (GetObjectA(bitmap, sizeof dib, &dib) == sizeof dib && BytesOf(dib) <= kSpareLimit)
        bitmap = Swap(spareSection, bitmap);
    if (bitmap)
        GdiDeleteObject(bitmap);
}

uint8_t* CreatePlaneMemory(size_t bytes, bool zeroFill)
{
    uint8_t* plane = Swap(sparePlane, static_cast<uint8_t*>(nullptr));
    if (plane && Fits(_msize(plane), bytes)) {
        if (zeroFill)
            std::memset(plane, 0, bytes);
        return plane;
    }
    std::free(plane);
    return static_cast<uint8_t*>(zeroFill ? AllocateZeroed(bytes, 1) : AllocateBytes(bytes));
}

void FreePlaneMemory(uint8_t* plane)
{
    if (plane && _msize(plane) <= kSpareLimit)
        plane = Swap(sparePlane, plane);
    std::free(plane);
}

void DropSparePixelMemory()
{
    if (HBITMAP bitmap = Swap(spareSection, HBITMAP{}))
        GdiDeleteObject(bitmap);
    std::free(Swap(sparePlane, static_cast<uint8_t*>(nullptr)));
}

// The section's bits are filled byte by byte when asked for (above): never free.
bool ZeroFillIsFree(uint64_t) { return false; }
