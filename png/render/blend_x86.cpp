// Vector blend kernels for x86 (SSSE3, its target on each function; AVX2
// where the processor has it): four or eight pixels per step, one 16-bit
// multiply-add per channel, the rest of a row through the scalar pixel.
// Each lane computes the exact formula of BlendChannel. The unused fourth
// byte of a work pixel gets alpha 0, which gives back its own value
// ((255 d + 255) >> 8 = d for every d): it is stored unchanged.
#include <cstring>

#include "png/render/blend.h"
#include "png/render/blend_kernels.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>

#define PNG_SSSE3 __attribute__((target("ssse3")))
#define PNG_INLINE inline __attribute__((always_inline))

namespace {

PNG_INLINE __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
PNG_INLINE void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

PNG_INLINE __m128i Load4(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(static_cast<int>(v));
}

// s * a + (255 - a) * d + 255 with one multiply-add per pair of bytes:
// weights a and 255 - a (unsigned) against s - 128 and d - 128 (signed) give
// s a + (255 - a) d - 128 * 255, which lies within -32640..32385, so the
// pair sum never saturates. Adding 128 * 255 + 255 modulo 2^16 then leaves
// the true sum, 255..65280, whose high byte is the result.
PNG_SSSE3 inline __m128i BlendFour(__m128i s, __m128i a, __m128i d)
{
    const __m128i flip = _mm_set1_epi8(-128), ones = _mm_set1_epi8(-1);
    const __m128i bias = _mm_set1_epi16(static_cast<short>(128 * 255 + 255));
    const __m128i signedS = _mm_xor_si128(s, flip), signedD = _mm_xor_si128(d, flip);
    const __m128i rest = _mm_xor_si128(a, ones);  // 255 - a
    const __m128i low = _mm_maddubs_epi16(_mm_unpacklo_epi8(a, rest), _mm_unpacklo_epi8(signedS, signedD));
    const __m128i high = _mm_maddubs_epi16(_mm_unpackhi_epi8(a, rest), _mm_unpackhi_epi8(signedS, signedD));
    return _mm_packus_epi16(_mm_srli_epi16(_mm_add_epi16(low, bias), 8),
                            _mm_srli_epi16(_mm_add_epi16(high, bias), 8));
}

// Each of four bytes to the blue, green and red lanes of its pixel, 0 to the fourth.
PNG_SSSE3 inline __m128i Spread(__m128i fourBytes)
{
    return _mm_shuffle_epi8(fourBytes, _mm_setr_epi8(0, 0, 0, -1, 1, 1, 1, -1, 2, 2, 2, -1, 3, 3, 3, -1));
}

// Pixels whose alpha is 0 come out as the destination exactly, so a run of
// them is left alone: no load, no store (clear areas are common).
inline bool Clear(const uint8_t* alpha, int count)
{
    uint64_t v = 0;
    std::memcpy(&v, alpha, static_cast<size_t>(count));
    return v == 0;
}

// A large picture's rows come from memory in three streams (work, pixels,
// alpha), more than the processor's own prefetching keeps up with: each is
// asked for 512 pixels ahead of use. Past a row's end this only touches
// cache lines; a prefetch never faults.
template <int PixelBytes>
PNG_INLINE void ReadAhead(const uint8_t* work, const uint8_t* pixels, const uint8_t* alpha)
{
    _mm_prefetch(reinterpret_cast<const char*>(work + 4 * 512), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(pixels + PixelBytes * 512), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(alpha + 512), _MM_HINT_T0);
}

inline void BlendPixel(uint8_t* d, uint8_t red, uint8_t green, uint8_t blue, uint8_t a)
{
    d[2] = BlendChannel(red, a, d[2]);
    d[1] = BlendChannel(green, a, d[1]);
    d[0] = BlendChannel(blue, a, d[0]);
}

// 16 bytes are read from the pixel row for four pixels (12 used): the loop
// stops while they still lie inside the row's 3 * width bytes.
PNG_SSSE3 void BlendRgbRowSsse3(uint8_t* work, const uint8_t* pixels, const uint8_t* alpha, int32_t width,
                                const PaletteTable&)
{
    const __m128i toBgr0 = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    int32_t x = 0;
    for (; x + 6 <= width; x += 4) {
        ReadAhead<3>(work + 4 * x, pixels + 3 * x, alpha + x);
        if (Clear(alpha + x, 4))
            continue;
        const __m128i s = _mm_shuffle_epi8(Load(pixels + 3 * x), toBgr0);
        Store(work + 4 * x, BlendFour(s, Spread(Load4(alpha + x)), Load(work + 4 * x)));
    }
    for (; x < width; ++x)
        BlendPixel(work + 4 * x, pixels[3 * x + 2], pixels[3 * x + 1], pixels[3 * x], alpha[x]);
}

PNG_SSSE3 void BlendGreyRowSsse3(uint8_t* work, const uint8_t* pixels, const uint8_t* alpha, int32_t width,
                                 const PaletteTable&)
{
    int32_t x = 0;
    for (; x + 4 <= width; x += 4) {
        ReadAhead<1>(work + 4 * x, pixels + x, alpha + x);
        if (!Clear(alpha + x, 4))
            Store(work + 4 * x, BlendFour(Spread(Load4(pixels + x)), Spread(Load4(alpha + x)), Load(work + 4 * x)));
    }
    for (; x < width; ++x)
        BlendPixel(work + 4 * x, pixels[x], pixels[x], pixels[x], alpha[x]);
}

// Four palette entries (blue, green, red, alpha) loaded whole.
PNG_SSSE3 void BlendPaletteRowSsse3(uint8_t* work, const uint8_t* pixels, const uint8_t*, int32_t width,
                                    const PaletteTable& palette)
{
    const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
    const __m128i toAlpha = _mm_setr_epi8(3, 3, 3, -1, 7, 7, 7, -1, 11, 11, 11, -1, 15, 15, 15, -1);
    int32_t x = 0;
    for (; x + 4 <= width; x += 4) {
        uint32_t e[4];
        for (int k = 0; k < 4; ++k)
            std::memcpy(&e[k], &palette[pixels[x + k]], 4);
        const __m128i entries = _mm_setr_epi32(static_cast<int>(e[0]), static_cast<int>(e[1]),
                                               static_cast<int>(e[2]), static_cast<int>(e[3]));
        const __m128i s = _mm_and_si128(entries, colour), a = _mm_shuffle_epi8(entries, toAlpha);
        Store(work + 4 * x, BlendFour(s, a, Load(work + 4 * x)));
    }
    for (; x < width; ++x) {
        const PaletteEntry& p = palette[pixels[x]];
        BlendPixel(work + 4 * x, p.Red, p.Green, p.Blue, p.Alpha);
    }
}

// AVX2: eight pixels per step, each 128-bit half doing what BlendFour does
// (byte shuffles, unpacks and packs all stay within their half).
#define PNG_AVX2 __attribute__((target("avx2")))

PNG_AVX2 inline __m256i BlendEight(__m256i s, __m256i a, __m256i d)
{
    const __m256i flip = _mm256_set1_epi8(-128), ones = _mm256_set1_epi8(-1);
    const __m256i bias = _mm256_set1_epi16(static_cast<short>(128 * 255 + 255));
    const __m256i signedS = _mm256_xor_si256(s, flip), signedD = _mm256_xor_si256(d, flip);
    const __m256i rest = _mm256_xor_si256(a, ones);
    const __m256i low = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(a, rest), _mm256_unpacklo_epi8(signedS, signedD));
    const __m256i high = _mm256_maddubs_epi16(_mm256_unpackhi_epi8(a, rest), _mm256_unpackhi_epi8(signedS, signedD));
    return _mm256_packus_epi16(_mm256_srli_epi16(_mm256_add_epi16(low, bias), 8),
                               _mm256_srli_epi16(_mm256_add_epi16(high, bias), 8));
}

// Eight bytes, each to the blue, green and red lanes of its pixel.
PNG_AVX2 inline __m256i Spread8(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    const __m256i both = _mm256_set1_epi64x(static_cast<long long>(v));
    return _mm256_shuffle_epi8(both, _mm256_setr_epi8(0, 0, 0, -1, 1, 1, 1, -1, 2, 2, 2, -1, 3, 3, 3, -1, 4, 4, 4, -1,
                                                      5, 5, 5, -1, 6, 6, 6, -1, 7, 7, 7, -1));
}

PNG_AVX2 inline __m256i LoadWork(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

// Pixels 0 to 3 from the first 12 bytes, 4 to 7 from the next 12, one half
// each; the last 16-byte load ends 4 bytes past pixel 7.
PNG_AVX2 void BlendRgbRowAvx2(uint8_t* work, const uint8_t* pixels, const uint8_t* alpha, int32_t width,
                              const PaletteTable& palette)
{
    const __m256i toBgr0 = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0, 1, 2, -1, 3, 4,
                                            5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    int32_t x = 0;
    for (; x + 10 <= width; x += 8) {
        ReadAhead<3>(work + 4 * x, pixels + 3 * x, alpha + x);
        if (Clear(alpha + x, 8))
            continue;
        const __m256i rgb = _mm256_setr_m128i(Load(pixels + 3 * x), Load(pixels + 3 * x + 12));
        const __m256i blended = BlendEight(_mm256_shuffle_epi8(rgb, toBgr0), Spread8(alpha + x), LoadWork(work + 4 * x));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(work + 4 * x), blended);
    }
    BlendRgbRowSsse3(work + 4 * x, pixels + 3 * x, alpha + x, width - x, palette);
}

PNG_AVX2 void BlendGreyRowAvx2(uint8_t* work, const uint8_t* pixels, const uint8_t* alpha, int32_t width,
                               const PaletteTable& palette)
{
    int32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        ReadAhead<1>(work + 4 * x, pixels + x, alpha + x);
        if (Clear(alpha + x, 8))
            continue;
        const __m256i blended = BlendEight(Spread8(pixels + x), Spread8(alpha + x), LoadWork(work + 4 * x));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(work + 4 * x), blended);
    }
    BlendGreyRowSsse3(work + 4 * x, pixels + x, alpha + x, width - x, palette);
}

}  // namespace

RowKernel ChooseVectorBlendKernel(uint16_t bitCount, bool greyAlpha, const ProcessorFeatures& features)
{
    if (!features.Ssse3 || bitCount == 0)
        return nullptr;
    if (bitCount == 24)
        return features.Avx2 ? BlendRgbRowAvx2 : BlendRgbRowSsse3;
    if (bitCount == 8 && greyAlpha)
        return features.Avx2 ? BlendGreyRowAvx2 : BlendGreyRowSsse3;
    if (bitCount == 8)
        return BlendPaletteRowSsse3;
    return nullptr;
}
#endif
