// What the forms of the "over" kernel share: the reference loop for runs of
// opaque canvas pixels, which every faster form must match byte for byte.
#pragma once

#include <cstdint>

// Over opaque pixels the weight is 255 x 255, the new alpha 255, and the
// division one by a constant: the same nearest integer as OverChannel,
// without a branch (a = 255 gives s and a = 0 gives d exactly).
inline void OverOpaqueBytes(uint8_t* bgr, const uint8_t* sourceBgr, const uint8_t* sourceAlpha, int32_t count)
{
    for (int32_t x = 0; x < count; ++x) {
        const uint32_t sa = sourceAlpha[x];
        for (int c = 0; c < 3; ++c) {
            uint8_t& d = bgr[3 * x + c];
            d = static_cast<uint8_t>((sourceBgr[3 * x + c] * sa + d * (255 - sa) + 127) / 255);
        }
    }
}

#if defined(__i386__) || defined(__x86_64__)
// Only where the processor has SSSE3.
void OverOpaqueSsse3(uint8_t* bgr, const uint8_t* sourceBgr, const uint8_t* sourceAlpha, int32_t count);
#endif
