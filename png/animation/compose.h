// Composing a frame's region into the canvas (PNG standard, third edition,
// section 11.3.6.2): plain memory in, plain memory out, so it builds and is
// tested everywhere. Pixels are blue, green, red, with alpha beside them in
// a plane of its own, as the picture's buffers hold them.
#pragma once

#include <cstdint>

#include "png/animation/animation.h"

// Straight alpha "over", correctly rounded: with a = sa / 255 and b = da / 255,
// alpha a + b (1 - a), colour (s a + d b (1 - a)) / (a + b (1 - a)), each the
// nearest integer to the exact value (halves round up).
constexpr uint8_t OverAlpha(uint32_t sa, uint32_t da)
{
    return static_cast<uint8_t>((sa * 255 + da * (255 - sa) + 127) / 255);
}

constexpr uint8_t OverChannel(uint32_t s, uint32_t sa, uint32_t d, uint32_t da)
{
    const uint32_t weight = sa * 255 + da * (255 - sa);  // 255 x the new alpha, exactly
    if (weight == 0)
        return 0;
    const uint32_t sum = s * sa * 255 + d * da * (255 - sa);
    return static_cast<uint8_t>((2 * sum + weight) / (2 * weight));
}

// count pixels of the frame (sourceBgr, sourceAlpha; no alpha: opaque) onto
// the canvas row (bgr, alpha).
void ComposeRow(uint8_t* bgr, uint8_t* alpha, const uint8_t* sourceBgr, const uint8_t* sourceAlpha, int32_t count,
                BlendOp blend);

// The canvas as the header chunk's buffers hold it: rows bottom-up,
// BytesPerRow apart; the alpha plane top-down, Width bytes a row.
struct CanvasRows {
    uint8_t* Pixels = nullptr;
    int64_t BytesPerRow = 0;
    uint8_t* Alpha = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;

    uint8_t* PixelRow(int32_t y) const { return Pixels + BytesPerRow * (Height - 1 - y); }
    uint8_t* AlphaRow(int32_t y) const { return Alpha + int64_t{Width} * y; }
};

// The region to transparent black.
void ClearRegion(const CanvasRows& canvas, const FrameControl& region);
// The region's pixels to or from saved: 4 bytes a pixel, region.Width x
// region.Height.
void SaveRegion(const CanvasRows& canvas, const FrameControl& region, uint8_t* saved);
void RestoreRegion(const CanvasRows& canvas, const FrameControl& region, const uint8_t* saved);
