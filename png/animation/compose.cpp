#include "png/animation/compose.h"

#include <cstring>

namespace {

void Copy(uint8_t* bgr, uint8_t* alpha, const uint8_t* sourceBgr, const uint8_t* sourceAlpha, int32_t count)
{
    std::memcpy(bgr, sourceBgr, 3 * static_cast<size_t>(count));
    if (sourceAlpha)
        std::memcpy(alpha, sourceAlpha, static_cast<size_t>(count));
    else
        std::memset(alpha, 255, static_cast<size_t>(count));
}

}  // namespace

void ComposeRow(uint8_t* bgr, uint8_t* alpha, const uint8_t* sourceBgr, const uint8_t* sourceAlpha, int32_t count,
                BlendOp blend)
{
    if (blend == BlendOp::Source || !sourceAlpha) {
        Copy(bgr, alpha, sourceBgr, sourceAlpha, count);
        return;
    }
    for (int32_t x = 0; x < count; ++x) {
        const uint32_t sa = sourceAlpha[x];
        const uint32_t da = alpha[x];
        // Most pixels of a frame are either opaque or see-through: both are
        // exact without the division.
        if (sa == 0)
            continue;
        uint8_t* d = bgr + 3 * x;
        const uint8_t* s = sourceBgr + 3 * x;
        if (sa == 255 || da == 0) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            alpha[x] = static_cast<uint8_t>(sa);
            continue;
        }
        if (da == 255) {
            // Over an opaque pixel the weight is 255 x 255 and the division
            // one by a constant: the same nearest integer, far cheaper.
            for (int c = 0; c < 3; ++c)
                d[c] = static_cast<uint8_t>((s[c] * sa + d[c] * (255 - sa) + 127) / 255);
            continue;
        }
        d[0] = OverChannel(s[0], sa, d[0], da);
        d[1] = OverChannel(s[1], sa, d[1], da);
        d[2] = OverChannel(s[2], sa, d[2], da);
        alpha[x] = OverAlpha(sa, da);
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
