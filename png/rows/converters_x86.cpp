// Vector converter kernels for x86: count pixels of a dense row into dense
// destination rows, 16 (5 for the 3-byte outputs) per step, the rest through
// the scalar pixel. SSE2 for the grey formats, SSSE3 byte shuffles (their
// target on the function) for the colour order. Neither the source row nor
// the destinations are touched past count pixels.
#include "png/rows/converters_choose.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>

#include "png/rows/converters_kernels.h"

#define PNG_SSSE3 __attribute__((target("ssse3")))
#define PNG_INLINE inline __attribute__((always_inline))

namespace {

using namespace convert;
using PixelKernel = void (*)(const uint8_t* row, uint8_t* pixels, uint8_t* alpha, int32_t count);

PNG_INLINE __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
PNG_INLINE void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

template <typename F>
PNG_INLINE void ScalarTail(const uint8_t* row, uint8_t* pixels, uint8_t* alpha, int32_t from, int32_t count)
{
    for (int32_t k = from; k < count; ++k)
        F::Put(row + k * F::kSource, pixels + k * F::kTarget, F::kAlpha ? alpha + k : alpha, nullptr);
}

// Byte `at` of each 16-bit lane of v0 and v1, 16 bytes in lane order.
PNG_INLINE __m128i BytesOf16(int at, __m128i v0, __m128i v1)
{
    const __m128i low = _mm_set1_epi16(0xFF);
    return _mm_packus_epi16(_mm_and_si128(_mm_srli_epi16(v0, 8 * at), low),
                            _mm_and_si128(_mm_srli_epi16(v1, 8 * at), low));
}

// Byte `at` of each 32-bit lane of v0 to v3, 16 bytes in lane order.
PNG_INLINE __m128i BytesOf32(int at, __m128i v0, __m128i v1, __m128i v2, __m128i v3)
{
    const __m128i low = _mm_set1_epi32(0xFF);
    const __m128i a = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(v0, 8 * at), low),
                                      _mm_and_si128(_mm_srli_epi32(v1, 8 * at), low));
    const __m128i b = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(v2, 8 * at), low),
                                      _mm_and_si128(_mm_srli_epi32(v3, 8 * at), low));
    return _mm_packus_epi16(a, b);
}

// 16-bit samples keep their first (high) byte: byte 0 of each 16-bit lane.
PNG_INLINE __m128i HighBytes(__m128i v0, __m128i v1) { return BytesOf16(0, v0, v1); }

void Grey16Sse2(const uint8_t* row, uint8_t* pixels, uint8_t* alpha, int32_t count)
{
    int32_t k = 0;
    for (; k + 16 <= count; k += 16)
        Store(pixels + k, HighBytes(Load(row + 2 * k), Load(row + 2 * k + 16)));
    ScalarTail<Grey16>(row, pixels, alpha, k, count);
}

void GreyAlpha8Sse2(const uint8_t* row, uint8_t* pixels, uint8_t* alpha, int32_t count)
{
    int32_t k = 0;
    for (; k + 16 <= count; k += 16) {
        const __m128i v0 = Load(row + 2 * k), v1 = Load(row + 2 * k + 16);
        Store(pixels + k, BytesOf16(0, v0, v1));
        Store(alpha + k, BytesOf16(1, v0, v1));
    }
    ScalarTail<GreyAlpha8>(row, pixels, alpha, k, count);
}

void GreyAlpha16Sse2(const uint8_t* row, uint8_t* pixels, uint8_t* alpha, int32_t count)
{
    int32_t k = 0;
    for (; k + 16 <= count; k += 16) {
        const uint8_t* s = row + 4 * k;
        const __m128i v0 = Load(s), v1 = Load(s + 16), v2 = Load(s + 32), v3 = Load(s + 48);
        Store(pixels + k, BytesOf32(0, v0, v1, v2, v3));
        Store(alpha + k, BytesOf32(2, v0, v1, v2, v3));
    }
    ScalarTail<GreyAlpha16>(row, pixels, alpha, k, count);
}

// Sixteen RGBA pixels (four vectors) to 48 bytes blue, green, red and 16
// alpha bytes: each 16 bytes of either from two or four vectors, shuffled
// into place (zero where the other vectors' bytes go) and combined.
PNG_SSSE3 inline __m128i Shuffled(__m128i v, __m128i order) { return _mm_shuffle_epi8(v, order); }

PNG_SSSE3 inline void PutBgrAndAlpha(__m128i v0, __m128i v1, __m128i v2, __m128i v3, uint8_t* pixels, uint8_t* alpha)
{
    constexpr char z = -1;
    const __m128i alpha01 = _mm_or_si128(Shuffled(v0, _mm_setr_epi8(3, 7, 11, 15, z, z, z, z, z, z, z, z, z, z, z, z)),
                                         Shuffled(v1, _mm_setr_epi8(z, z, z, z, 3, 7, 11, 15, z, z, z, z, z, z, z, z)));
    const __m128i alpha23 = _mm_or_si128(Shuffled(v2, _mm_setr_epi8(z, z, z, z, z, z, z, z, 3, 7, 11, 15, z, z, z, z)),
                                         Shuffled(v3, _mm_setr_epi8(z, z, z, z, z, z, z, z, z, z, z, z, 3, 7, 11, 15)));
    Store(alpha, _mm_or_si128(alpha01, alpha23));
    Store(pixels, _mm_or_si128(Shuffled(v0, _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, z, z, z, z)),
                               Shuffled(v1, _mm_setr_epi8(z, z, z, z, z, z, z, z, z, z, z, z, 2, 1, 0, 6))));
    Store(pixels + 16, _mm_or_si128(Shuffled(v1, _mm_setr_epi8(5, 4, 10, 9, 8, 14, 13, 12, z, z, z, z, z, z, z, z)),
                                    Shuffled(v2, _mm_setr_epi8(z, z, z, z, z, z, z, z, 2, 1, 0, 6, 5, 4, 10, 9))));
    Store(pixels + 32, _mm_or_si128(Shuffled(v2, _mm_setr_epi8(8, 14, 13, 12, z, z, z, z, z, z, z, z, z, z, z, z)),
                                    Shuffled(v3, _mm_setr_epi8(z, z, z, z, 2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12))));
}

PNG_SSSE3 void Rgba8Ssse3(const uint8_t* row, uint8_t* pixels, uint8_t* alpha, int32_t count)
{
    int32_t k = 0;
    for (; k + 16 <= count; k += 16) {
        const uint8_t* s = row + 4 * k;
        PutBgrAndAlpha(Load(s), Load(s + 16), Load(s + 32), Load(s + 48), pixels + 3 * k, alpha + k);
    }
    ScalarTail<Rgba8Direct>(row, pixels, alpha, k, count);
}

PNG_SSSE3 void Rgba16Ssse3(const uint8_t* row, uint8_t* pixels, uint8_t* alpha, int32_t count)
{
    int32_t k = 0;
    for (; k + 16 <= count; k += 16) {
        const uint8_t* s = row + 8 * k;
        PutBgrAndAlpha(HighBytes(Load(s), Load(s + 16)), HighBytes(Load(s + 32), Load(s + 48)),
                       HighBytes(Load(s + 64), Load(s + 80)), HighBytes(Load(s + 96), Load(s + 112)),
                       pixels + 3 * k, alpha + k);
    }
    ScalarTail<Rgba16Direct>(row, pixels, alpha, k, count);
}

// Five RGB pixels per 16 bytes, reversed in place; lane 15 (the next pixel's
// red) rides along and is overwritten by the next store, so the loop stops
// while 16 bytes still fit in both rows.
PNG_SSSE3 inline __m128i SwapFive(__m128i v)
{
    return _mm_shuffle_epi8(v, _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15));
}

PNG_SSSE3 void Rgb8Ssse3(const uint8_t* row, uint8_t* pixels, uint8_t* alpha, int32_t count)
{
    int32_t k = 0;
    for (; k + 6 <= count; k += 5)
        Store(pixels + 3 * k, SwapFive(Load(row + 3 * k)));
    ScalarTail<Rgb8Ungamma>(row, pixels, alpha, k, count);
}

PNG_SSSE3 void Rgb16Ssse3(const uint8_t* row, uint8_t* pixels, uint8_t* alpha, int32_t count)
{
    int32_t k = 0;
    for (; k + 6 <= count; k += 5)
        Store(pixels + 3 * k, SwapFive(HighBytes(Load(row + 6 * k), Load(row + 6 * k + 16))));
    ScalarTail<Rgb16Direct>(row, pixels, alpha, k, count);
}

template <PixelKernel Kernel>
void PlainKernel(const ConvertParams& c, const uint8_t* row, uint8_t* pixels, uint8_t* alpha)
{
    Kernel(row, pixels, alpha, c.DecodeWidth);
}

// Pass 6 of a full-size decode fills every column of its rows from a dense
// row: the plain kernel's case. Other passes and reduced decodes place
// pixels apart and take the scalar loop.
template <PixelKernel Kernel, typename F>
void InterlacedKernel(const ConvertParams& c, int32_t pass, const uint8_t* row, uint8_t* pixels, uint8_t* alpha)
{
    if (pass == 6 && c.ReductionShift == 0) {
        const Placement place = PlaceInPass(c, pass);
        Kernel(row, pixels, alpha, static_cast<int32_t>(place.Count));
    } else {
        InterlacedPixels<F>(c, pass, row, pixels, alpha);
    }
}

struct VectorForm {
    uint8_t ColorType, BitDepth;
    bool NeedsSsse3, UsesGamma;
    PlainConverter Plain;
    InterlacedConverter Interlaced;
};

template <PixelKernel Kernel, typename F, bool Ssse3, bool UsesGamma>
constexpr VectorForm Form(uint8_t colorType, uint8_t bitDepth)
{
    return {colorType, bitDepth, Ssse3, UsesGamma, PlainKernel<Kernel>, InterlacedKernel<Kernel, F>};
}

// The plain truecolour 8 converter never maps (its interlaced twin does).
constexpr VectorForm kForms[] = {
    Form<Grey16Sse2, Grey16, false, false>(0, 16),
    Form<Grey16Sse2, Grey16, false, false>(3, 16),
    Form<GreyAlpha8Sse2, GreyAlpha8, false, false>(4, 8),
    Form<GreyAlpha16Sse2, GreyAlpha16, false, false>(4, 16),
    Form<Rgba8Ssse3, Rgba8Direct, true, true>(6, 8),
    Form<Rgba16Ssse3, Rgba16Direct, true, true>(6, 16),
    Form<Rgb16Ssse3, Rgb16Direct, true, true>(2, 16),
};

const VectorForm* FindForm(uint8_t colorType, uint8_t bitDepth, const ProcessorFeatures& features, bool gammaFree)
{
    if (!features.Sse2)
        return nullptr;
    for (const VectorForm& form : kForms) {
        if (form.ColorType == colorType && form.BitDepth == bitDepth && (features.Ssse3 || !form.NeedsSsse3) &&
            (gammaFree || !form.UsesGamma))
            return &form;
    }
    return nullptr;
}

}  // namespace

PlainConverter ChooseVectorPlainConverter(uint8_t colorType, uint8_t bitDepth, const ProcessorFeatures& features,
                                          bool gammaFree)
{
    if (colorType == 2 && bitDepth == 8)
        return features.Ssse3 ? PlainKernel<Rgb8Ssse3> : nullptr;
    const VectorForm* form = FindForm(colorType, bitDepth, features, gammaFree);
    return form ? form->Plain : nullptr;
}

InterlacedConverter ChooseVectorInterlacedConverter(uint8_t colorType, uint8_t bitDepth,
                                                    const ProcessorFeatures& features, bool gammaFree)
{
    if (colorType == 2 && bitDepth == 8)
        return features.Ssse3 && gammaFree ? InterlacedKernel<Rgb8Ssse3, Rgb8Ungamma> : nullptr;
    const VectorForm* form = FindForm(colorType, bitDepth, features, gammaFree);
    return form ? form->Interlaced : nullptr;
}
#endif
