// Pixel memory where there are no bitmap sections: a plain block, which is
// also its own owner handle; the alpha plane likewise.
#include <cstdlib>

#include "png/image.h"
#include "winlayer/base/allocation.h"

uint8_t* CreatePixelMemory(const BitmapInfo&, uint64_t byteCount, void** section, bool zeroFill)
{
    *section = nullptr;
    if (byteCount >= SIZE_MAX)
        return nullptr;
    // One spare byte, so that an empty picture still gets a block of its own.
    const size_t size = static_cast<size_t>(byteCount) + 1;
    auto* pixels = static_cast<uint8_t*>(zeroFill ? AllocateZeroed(size, 1) : AllocateBytes(size));
    *section = pixels;
    return pixels;
}

void FreePixelMemory(void*, uint8_t* pixels) { std::free(pixels); }

uint8_t* CreatePlaneMemory(size_t bytes, bool zeroFill)
{
    return static_cast<uint8_t*>(zeroFill ? AllocateZeroed(bytes, 1) : AllocateBytes(bytes));
}

void FreePlaneMemory(uint8_t* plane) { std::free(plane); }

// glibc maps every block of 32 MB or more afresh (its largest threshold) and
// skips the fill of such blocks in calloc.
bool ZeroFillIsFree(uint64_t byteCount) { return byteCount >= (uint64_t{32} << 20); }
