// Vector forms of the scanline filters for x86, SSE2 and up. SSE2 is the
// floor of both builds; SSSE3, SSE4.1 and AVX2 forms carry their target on
// the function, so no file needs extra flags and the i686 build has them too.
// A row's last partial block goes through the byte loop's formula; nothing
// is read or written past byte length of either row except by Up, which
// leaves the spare bytes as the 8-byte Up leaves them.
#include "png/rows/filters_choose.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>

#include <cstring>

#include "png/format.h"

#define PNG_SSE41 __attribute__((target("sse4.1")))
#define PNG_AVX2 __attribute__((target("avx2")))
#define PNG_INLINE inline __attribute__((always_inline))

namespace {

// A pixel is read with one load of kLoadWidth bytes (the lanes past the
// pixel hold bytes of the next one and are never stored) and written with
// stores of exactly Step bytes, so that no load straddles an earlier store:
// a straddling load waits for the store to retire, every pixel.
template <int Step>
constexpr int32_t kLoadWidth = Step == 3 ? 4 : Step == 6 ? 8 : Step;

template <int Step>
PNG_INLINE __m128i LoadPixel(const uint8_t* p)
{
    if constexpr (kLoadWidth<Step> == 8) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    } else if constexpr (kLoadWidth<Step> == 4) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return _mm_cvtsi32_si128(static_cast<int>(v));
    } else {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return _mm_cvtsi32_si128(v);
    }
}

template <int Step>
PNG_INLINE void StorePixel(uint8_t* p, __m128i v)
{
    if constexpr (Step == 8) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
        return;
    }
    const uint32_t low = static_cast<uint32_t>(_mm_cvtsi128_si32(v));
    if constexpr (Step == 2 || Step == 3) {
        const uint16_t pair = static_cast<uint16_t>(low);
        std::memcpy(p, &pair, 2);
        if constexpr (Step == 3)
            p[2] = static_cast<uint8_t>(low >> 16);
    } else {
        std::memcpy(p, &low, 4);
        if constexpr (Step == 6) {
            const uint16_t pair = static_cast<uint16_t>(_mm_extract_epi16(v, 2));
            std::memcpy(p + 4, &pair, 2);
        }
    }
}

// After bytes 1 to length, the spare bytes up to the end of the last 8-byte
// group get what the 8-byte Up gives them (the sum of both rows' spare
// bytes): a row cut short in a later, longer Adam7 pass keeps them past its
// end, so they are part of the output there.
inline void UpSpareLikeGroups(uint8_t* row, const uint8_t* previous, int32_t length)
{
    const int32_t groupEnd = (length + 8) / 8 * 8;
    for (int32_t i = length + 1; i < groupEnd; ++i)
        row[i] = static_cast<uint8_t>(row[i] + previous[i]);
}

void UpSse2(uint8_t* row, const uint8_t* previous, int32_t length, int32_t)
{
    uint8_t* x = row + 1;
    const uint8_t* b = previous + 1;
    int32_t i = 0;
    for (; i + 16 <= length; i += 16) {
        const __m128i sum = _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x + i)),
                                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(x + i), sum);
    }
    for (; i < length; ++i)
        x[i] = static_cast<uint8_t>(x[i] + b[i]);
    UpSpareLikeGroups(row, previous, length);
}

PNG_AVX2 void UpAvx2(uint8_t* row, const uint8_t* previous, int32_t length, int32_t)
{
    uint8_t* x = row + 1;
    const uint8_t* b = previous + 1;
    int32_t i = 0;
    for (; i + 32 <= length; i += 32) {
        const __m256i sum = _mm256_add_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + i)),
                                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(x + i), sum);
    }
    for (; i < length; ++i)
        x[i] = static_cast<uint8_t>(x[i] + b[i]);
    UpSpareLikeGroups(row, previous, length);
}

// Every lane k gets the sum of lanes k, k - Step, k - 2 Step ... of v:
// all 16 lanes where Step divides 16, else the first 12.
template <int Step>
PNG_INLINE __m128i PrefixSum(__m128i v)
{
    if constexpr (Step == 3 || Step == 6) {
        if constexpr (Step == 3)
            v = _mm_add_epi8(v, _mm_slli_si128(v, 3));
        return _mm_add_epi8(v, _mm_slli_si128(v, 6));
    }
    if constexpr (Step <= 1)
        v = _mm_add_epi8(v, _mm_slli_si128(v, 1));
    if constexpr (Step <= 2)
        v = _mm_add_epi8(v, _mm_slli_si128(v, 2));
    if constexpr (Step <= 4)
        v = _mm_add_epi8(v, _mm_slli_si128(v, 4));
    return _mm_add_epi8(v, _mm_slli_si128(v, 8));
}

// Sub's blocks: 16 bytes, or four 3-byte or two 6-byte pixels.
template <int Step>
constexpr int32_t kSubBlock = 16 % Step == 0 ? 16 : 12;

// The last pixel of a block repeated over it.
template <int Step>
PNG_INLINE __m128i LastPixel(__m128i v)
{
    if constexpr (Step == 3 || Step == 6) {
        v = _mm_srli_si128(_mm_slli_si128(v, 4), 16 - Step);  // alone in the first lanes
        if constexpr (Step == 3)
            v = _mm_or_si128(v, _mm_slli_si128(v, 3));
        return _mm_or_si128(v, _mm_slli_si128(v, 6));
    }
    if constexpr (Step == 8)
        return _mm_unpackhi_epi64(v, v);
    if constexpr (Step == 1)
        v = _mm_unpackhi_epi8(v, v);
    if constexpr (Step <= 2)
        v = _mm_shufflehi_epi16(v, 0xFF);
    return _mm_shuffle_epi32(v, 0xFF);
}

// Sub a block at a time: the block's prefix sum plus the block before's
// last pixel; for 3- and 6-byte pixels, whose last pixel takes several
// shifts to spread, the sum of the blocks' own last pixels, so that only
// one addition waits from block to block.
template <int Step>
void SubBlocks(uint8_t* row, const uint8_t*, int32_t length, int32_t)
{
    uint8_t* x = row + 1;
    __m128i carry = _mm_setzero_si128();
    int32_t i = 0;
    for (; i + 16 <= length; i += kSubBlock<Step>) {
        const __m128i sums = PrefixSum<Step>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x + i)));
        const __m128i v = _mm_add_epi8(sums, carry);
        if constexpr (kSubBlock<Step> == 16) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(x + i), v);
        } else {  // the next block's raw bytes stay as they are
            _mm_storel_epi64(reinterpret_cast<__m128i*>(x + i), v);
            const uint32_t tail = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(v, 8)));
            std::memcpy(x + i + 8, &tail, 4);
        }
        carry = kSubBlock<Step> == 16 ? LastPixel<Step>(v) : _mm_add_epi8(carry, LastPixel<Step>(sums));
    }
    SubTail(x, i, length, Step);
}

// floor((a + b) / 2) per byte: the rounding-up average less the bit the
// rounding added, taken after the sum with the raw byte so that the average
// and that bit are worked out side by side.
template <int Step>
void AveragePixels(uint8_t* row, const uint8_t* previous, int32_t length, int32_t)
{
    uint8_t* x = row + 1;
    const uint8_t* b = previous + 1;
    const __m128i one = _mm_set1_epi8(1);
    __m128i a = _mm_setzero_si128();
    int32_t i = 0;
    for (; i + kLoadWidth<Step> <= length; i += Step) {
        const __m128i above = LoadPixel<Step>(b + i);
        const __m128i odd = _mm_and_si128(_mm_xor_si128(a, above), one);
        a = _mm_sub_epi8(_mm_add_epi8(LoadPixel<Step>(x + i), _mm_avg_epu8(a, above)), odd);
        StorePixel<Step>(x + i, a);
    }
    AverageTail(x, b, i, length, Step);
}

}  // namespace

namespace {

// Paeth in 16-bit lanes (PNG standard, section 9.4): pa = |b - c|,
// pb = |a - c|, pc = |a + b - 2c|; a when pa is the smallest, else b unless
// pc is smaller than pb. Each pixel waits for the one before it, so all
// that does not depend on a is worked out first, here; a choice then adds
// what does.
struct PaethStep {
    __m128i Raw, B, C;
    __m128i BMinusC;
    __m128i WithB, WithC;  // (raw + b) and (raw + c) modulo 256
};

template <int Step, typename Choice>
PNG_INLINE void PaethLoop(uint8_t* row, const uint8_t* previous, int32_t length)
{
    uint8_t* x = row + 1;
    const uint8_t* b = previous + 1;
    const __m128i zero = _mm_setzero_si128(), lowByte = _mm_set1_epi16(0xFF);
    __m128i a = zero, c = zero;
    int32_t i = 0;
    for (; i + kLoadWidth<Step> <= length; i += Step) {
        PaethStep step;
        step.Raw = _mm_unpacklo_epi8(LoadPixel<Step>(x + i), zero);
        step.B = _mm_unpacklo_epi8(LoadPixel<Step>(b + i), zero);
        step.C = c;
        step.BMinusC = _mm_sub_epi16(step.B, c);
        step.WithB = _mm_and_si128(_mm_add_epi16(step.Raw, step.B), lowByte);
        step.WithC = _mm_and_si128(_mm_add_epi16(step.Raw, c), lowByte);
        a = Choice::Restore(step, a);
        StorePixel<Step>(x + i, _mm_packus_epi16(a, a));
        c = step.B;
    }
    PaethTail(x, b, i, length, Step);
}

// The distances themselves; after a is known: two differences, the
// comparisons and two selections.
struct Sse2Choice {
    static PNG_INLINE __m128i Abs(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }
    static PNG_INLINE __m128i Select(__m128i mask, __m128i yes, __m128i no)
    {
        return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
    }
    static PNG_INLINE __m128i Restore(const PaethStep& step, __m128i a)
    {
        const __m128i pa = Abs(step.BMinusC);
        const __m128i aMinusC = _mm_sub_epi16(a, step.C);
        const __m128i pb = Abs(aMinusC);
        const __m128i pc = Abs(_mm_add_epi16(aMinusC, step.BMinusC));
        const __m128i withA = _mm_and_si128(_mm_add_epi16(step.Raw, a), _mm_set1_epi16(0xFF));
        const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
        return Select(notA, Select(_mm_cmpgt_epi16(pb, pc), step.WithC, step.WithB), withA);
    }
};

// Every distance turned into bounds on a, all known before a is: with
// d = b - c,
//   pb < pa  <=>  c - pa < a < c + pa
//   pc < pa  <=>  c - d - pa < a < c - d + pa
//   pc < pb  <=>  d (2 (a - c) + d) < 0  <=>  sign(d) 2a < sign(d) (2c - d)
// (with d = 0 both sides are 0: never). a itself then only meets
// comparisons, one doubling and the two selections.
struct Sse41Choice {
    static PNG_SSE41 inline __m128i Restore(const PaethStep& step, __m128i a)
    {
        const __m128i c = step.C, d = step.BMinusC;
        const __m128i pa = _mm_abs_epi16(d);
        const __m128i cMinusD = _mm_sub_epi16(c, d);
        const __m128i below1 = _mm_sub_epi16(c, pa), above1 = _mm_add_epi16(c, pa);
        const __m128i below2 = _mm_sub_epi16(cMinusD, pa), above2 = _mm_add_epi16(cMinusD, pa);
        const __m128i bound = _mm_sign_epi16(_mm_add_epi16(c, cMinusD), d);
        // From here on, a.
        const __m128i useC = _mm_cmpgt_epi16(bound, _mm_sign_epi16(_mm_add_epi16(a, a), d));
        const __m128i pbBelowPa = _mm_and_si128(_mm_cmpgt_epi16(a, below1), _mm_cmpgt_epi16(above1, a));
        const __m128i pcBelowPa = _mm_and_si128(_mm_cmpgt_epi16(a, below2), _mm_cmpgt_epi16(above2, a));
        const __m128i withA = _mm_and_si128(_mm_add_epi16(step.Raw, a), _mm_set1_epi16(0xFF));
        const __m128i withBOrC = _mm_blendv_epi8(step.WithB, step.WithC, useC);
        return _mm_blendv_epi8(withA, withBOrC, _mm_or_si128(pbBelowPa, pcBelowPa));
    }
};

// Row 1's b is row 0's pixel just restored, taken from the register: only
// the raw bytes come from memory.
template <int Step>
PNG_INLINE PaethStep MakePaethStep(__m128i raw, __m128i b, __m128i c)
{
    const __m128i lowByte = _mm_set1_epi16(0xFF);
    PaethStep step;
    step.Raw = raw;
    step.B = b;
    step.C = c;
    step.BMinusC = _mm_sub_epi16(b, c);
    step.WithB = _mm_and_si128(_mm_add_epi16(raw, b), lowByte);
    step.WithC = _mm_and_si128(_mm_add_epi16(raw, c), lowByte);
    return step;
}

// Steps up to 4 fill half the 16-bit lanes: the other half restores the
// next row two pixels behind, so one pass of the arithmetic restores a pixel
// of each row. The next row's b is this row's pixel of two passes before
// (taken from the register), its c the b of the pass before; its a, like
// this row's, the last result. Its first two passes restore zeros that are
// not stored, leaving a and c zero at its start.
template <int Step, typename Choice>
PNG_INLINE void PaethPairLoop(uint8_t* row0, uint8_t* row1, const uint8_t* previous, int32_t length)
{
    static_assert(kLoadWidth<Step> <= 4, "two pixels to a register");
    uint8_t* x0 = row0 + 1;
    uint8_t* x1 = row1 + 1;
    const uint8_t* b = previous + 1;
    const __m128i zero = _mm_setzero_si128();
    __m128i last = zero, beforeLast = zero, lastB = zero;
    int32_t i = 0;
    for (; i + kLoadWidth<Step> <= length; i += Step) {
        const bool second = i >= 2 * Step;
        const __m128i raw1 = second ? LoadPixel<Step>(x1 + i - 2 * Step) : zero;
        const __m128i raw = _mm_unpacklo_epi8(_mm_unpacklo_epi32(LoadPixel<Step>(x0 + i), raw1), zero);
        const __m128i bs = _mm_unpacklo_epi64(_mm_unpacklo_epi8(LoadPixel<Step>(b + i), zero), beforeLast);
        const __m128i restored = Choice::Restore(MakePaethStep<Step>(raw, bs, lastB), last);
        const __m128i bytes = _mm_packus_epi16(restored, restored);
        StorePixel<Step>(x0 + i, bytes);
        if (second)
            StorePixel<Step>(x1 + i - 2 * Step, _mm_srli_si128(bytes, 4));
        beforeLast = last;
        last = restored;
        lastB = bs;
    }
    PaethTail(x0, b, i, length, Step);
    PaethTail(x1, x0, i >= 2 * Step ? i - 2 * Step : 0, length, Step);
}

template <int Step>
void PaethPairSse2(uint8_t* row, uint8_t* next, const uint8_t* previous, int32_t length)
{
    PaethPairLoop<Step, Sse2Choice>(row, next, previous, length);
}

template <int Step>
PNG_SSE41 void PaethPairSse41(uint8_t* row, uint8_t* next, const uint8_t* previous, int32_t length)
{
    PaethPairLoop<Step, Sse41Choice>(row, next, previous, length);
}

template <int Step>
void PaethPixelsSse2(uint8_t* row, const uint8_t* previous, int32_t length, int32_t)
{
    PaethLoop<Step, Sse2Choice>(row, previous, length);
}

template <int Step>
PNG_SSE41 void PaethPixelsSse41(uint8_t* row, const uint8_t* previous, int32_t length, int32_t)
{
    PaethLoop<Step, Sse41Choice>(row, previous, length);
}

// The vector forms by filter step; none where the step has no faster form
// (step 1's Average and Paeth, and steps no valid header gives).
struct StepForms {
    FilterRoutine Sub, Average, PaethSse2, PaethSse41;
    PaethPairRoutine PairSse2, PairSse41;
};

// Pairs only where two pixels fit one register (steps 2 to 4).
constexpr StepForms kStepForms[9] = {
    {},
    {SubBlocks<1>, nullptr, nullptr, nullptr, nullptr, nullptr},
    {SubBlocks<2>, nullptr, PaethPixelsSse2<2>, PaethPixelsSse41<2>, PaethPairSse2<2>, PaethPairSse41<2>},
    {SubBlocks<3>, AveragePixels<3>, PaethPixelsSse2<3>, PaethPixelsSse41<3>, PaethPairSse2<3>, PaethPairSse41<3>},
    {SubBlocks<4>, AveragePixels<4>, PaethPixelsSse2<4>, PaethPixelsSse41<4>, PaethPairSse2<4>, PaethPairSse41<4>},
    {},
    {SubBlocks<6>, AveragePixels<6>, PaethPixelsSse2<6>, PaethPixelsSse41<6>, nullptr, nullptr},
    {},
    {SubBlocks<8>, AveragePixels<8>, PaethPixelsSse2<8>, PaethPixelsSse41<8>, nullptr, nullptr},
};

void Put(RowFilters& filters, FilterType type, FilterRoutine routine)
{
    if (routine)
        filters.Routines[static_cast<int>(type)] = routine;
}

}  // namespace

void ChooseVectorFilters(const ProcessorFeatures& features, bool wide, int32_t step, RowFilters& filters)
{
    if (!features.Sse2)
        return;
    if (wide)
        Put(filters, FilterType::Up, features.Avx2 ? UpAvx2 : UpSse2);
    if (step < 1 || step > 8)
        return;
    const StepForms& forms = kStepForms[step];
    Put(filters, FilterType::Sub, forms.Sub);
    Put(filters, FilterType::Average, forms.Average);
    Put(filters, FilterType::Paeth, features.Sse41 ? forms.PaethSse41 : forms.PaethSse2);
    filters.PaethPair = features.Sse41 ? forms.PairSse41 : forms.PairSse2;
}
#endif
