#include "bench/blend_scalar.h"

void BlendRowsScalar(uint8_t* work, const BlendSource& source)
{
    const int64_t width = source.Width;
    for (int64_t r = 0; r < source.Height; ++r) {
        const uint8_t* s = source.Pixels + (source.Height - 1 - r) * source.BytesPerRow;
        const uint8_t* alpha = source.AlphaPlane + r * width;
        uint8_t* d = work + r * width * 4;
        for (int64_t x = 0; x < width; ++x, s += 3, d += 4) {
            uint8_t a = alpha[x];
            d[2] = BlendChannel(s[2], a, d[2]);
            d[1] = BlendChannel(s[1], a, d[1]);
            d[0] = BlendChannel(s[0], a, d[0]);
        }
    }
}
