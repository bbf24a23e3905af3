#include "png/animation/compose.h"

#include <cstring>

#include "png/animation/compose_kernels.h"
#include "png/cpu.h"

namespace {

void Copy(uint8_t* bgr, uint8_t* alpha, const uint8_t* sourceBgr, const uint8_t* sourceAlpha, int32_t count)
{
    std::memcpy(bgr, sourceBgr, 3 * static_cast<size_t>(count));
    if (sourceAlpha)
        std::memcpy(alpha, sourceAlpha, static_cast<size_t>(count));
    else
        std::memset(alpha, 255, static_cast<size_t>(count));
}

// The form this processor runs; chosen once.
using OverOpaqueForm = void (*)(uint8_t*, const uint8_t*, const uint8_t*, int32_t);

OverOpaqueForm ChosenOverOpaque()
{
#if defined(__i386__) || defined(__x86_64__)
    if (Features().Ssse3)
        return OverOpaqueSsse3;
#endif
    return OverOpaqueBytes;
}

void OverPixel(uint8_t* d, uint8_t& da, const uint8_t* s, uint32_t sa)
{
    if (sa == 0)
        return;
    if (sa == 255 || da == 0) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        da = static_cast<uint8_t>(sa);
        return;
    }
    d[0] = OverChannel(s[0], sa, d[0], da);
    d[1] = OverChannel(s[1], sa, d[1], da);
    d[2] = OverChannel(s[2], sa, d[2], da);
    da = OverAlpha(sa, da);
}

}  // namespace

void ComposeRow(uint8_t* bgr, uint8_t* alpha, const uint8_t* sourceBgr, const uint8_t* sourceAlpha, int32_t count,
                BlendOp blend)
{
    if (blend == BlendOp::Source || !sourceAlpha) {
        Copy(bgr, alpha, sourceBgr, sourceAlpha, count);
        return;
    }
    static const OverOpaqueForm overOpaque = ChosenOverOpaque();
    // Runs of opaque canvas pixels (the common case: a sprite over a
    // picture), then the pixels up to the next such run.
    for (int32_t x = 0; x < count;) {
        int32_t end = x;
        while (end < count && alpha[end] == 255)
            ++end;
        overOpaque(bgr + 3 * int64_t{x}, sourceBgr + 3 * int64_t{x}, sourceAlpha + x, end - x);
        for (x = end; x < count && alpha[x] != 255; ++x)
            OverPixel(bgr + 3 * int64_t{x}, alpha[x], sourceBgr + 3 * int64_t{x}, sourceAlpha[x]);
    }
}

void ClearRegion(const CanvasRows& canvas, const FrameControl& region)
{
    for (int32_t y = region.Y; y < region.Y + region.Height; ++y) {
        std::memset(canvas.PixelRow(y) + 3 * int64_t{region.X}, 0, 3 * static_cast<size_t>(region.Width));
        std::memset(canvas.AlphaRow(y) + region.X, 0, static_cast<size_t>(region.Width));
    }
}

void SaveRegion(const CanvasRows& canvas, const FrameControl& region, uint8_t* saved)
{
    const size_t w = static_cast<size_t>(region.Width);
    for (int32_t y = region.Y; y < region.Y + region.Height; ++y, saved += 4 * w) {
        std::memcpy(saved, canvas.PixelRow(y) + 3 * int64_t{region.X}, 3 * w);
        std::memcpy(saved + 3 * w, canvas.AlphaRow(y) + region.X, w);
    }
}

void RestoreRegion(const CanvasRows& canvas, const FrameControl& region, const uint8_t* saved)
{
    const size_t w = static_cast<size_t>(region.Width);
    for (int32_t y = region.Y; y < region.Y + region.Height; ++y, saved += 4 * w) {
        std::memcpy(canvas.PixelRow(y) + 3 * int64_t{region.X}, saved, 3 * w);
        std::memcpy(canvas.AlphaRow(y) + region.X, saved + 3 * w, w);
    }
}
