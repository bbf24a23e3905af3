// The "over" kernel for runs of opaque canvas pixels, SSSE3: sixteen pixels
// (48 bytes of blue, green, red and their 16 alphas) a step. It gives the
// bytes of OverOpaqueBytes in compose.cpp for every input.
#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>

#include "png/animation/compose_kernels.h"

#define PNG_SSSE3 __attribute__((target("ssse3")))

namespace {

// (s a + d (255 - a) + 127) / 255 for eight 16-bit lanes; x / 255 is
// (x + 1 + (x >> 8)) >> 8 for every x up to 65152, the largest here.
PNG_SSSE3 __m128i OverLanes(__m128i s, __m128i d, __m128i a)
{
    const __m128i full = _mm_set1_epi16(255);
    __m128i x = _mm_add_epi16(_mm_mullo_epi16(s, a), _mm_mullo_epi16(d, _mm_sub_epi16(full, a)));
    x = _mm_add_epi16(x, _mm_set1_epi16(127));
    x = _mm_add_epi16(_mm_add_epi16(x, _mm_set1_epi16(1)), _mm_srli_epi16(x, 8));
    return _mm_srli_epi16(x, 8);
}

PNG_SSSE3 __m128i OverBytes(__m128i s, __m128i d, __m128i a)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = OverLanes(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi8(a, zero));
    const __m128i high = OverLanes(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi8(a, zero));
    return _mm_packus_epi16(low, high);
}

}  // namespace

PNG_SSSE3 void OverOpaqueSsse3(uint8_t* bgr, const uint8_t* sourceBgr, const uint8_t* sourceAlpha, int32_t count)
{
    // Each pixel's alpha beside each of its three bytes.
    const __m128i spread[3] = {
        _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5),
        _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10),
        _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15),
    };
    int32_t x = 0;
    for (; x + 16 <= count; x += 16) {
        const __m128i alpha = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sourceAlpha + x));
        for (int part = 0; part < 3; ++part) {
            auto* d = reinterpret_cast<__m128i*>(bgr + 3 * x + 16 * part);
            const auto* s = reinterpret_cast<const __m128i*>(sourceBgr + 3 * x + 16 * part);
            _mm_storeu_si128(d, OverBytes(_mm_loadu_si128(s), _mm_loadu_si128(d), _mm_shuffle_epi8(alpha, spread[part])));
        }
    }
    OverOpaqueBytes(bgr + 3 * x, sourceBgr + 3 * x, sourceAlpha + x, count - x);
}
#endif
