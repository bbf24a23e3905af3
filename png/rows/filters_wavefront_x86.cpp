// Four consecutive rows restored in one pass, for pixels of 1 to 4 bytes: a
// register holds one pixel of each row, each row one pixel behind the row
// above it, so a pixel's b is the pixel the row above restored in the pass
// before, its c that pixel's b, its a the row's own last result. Each lane
// takes the predictor of its row's filter type; four Paeth rows need no
// choice between types. The Paeth choice is made on the bytes themselves:
// with pa = |b - c| and pb = |a - c|, pc = |(a - c) + (b - c)| is pa + pb
// where both differences have the same sign and |pa - pb| where they
// differ; the sum saturates at 255, above pa and pb either way, so every
// comparison comes out as in 16 bits. One run of the arithmetic restores
// four pixels.
#include "png/rows/filters_choose.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>

#include <cstring>

#define PNG_SSE41 __attribute__((target("sse4.1")))
#define PNG_INLINE inline __attribute__((always_inline))

namespace {

struct Sse2Select {
    static PNG_INLINE __m128i Pick(__m128i mask, __m128i yes, __m128i no)
    {
        return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
    }
};

struct Sse41Select {
    static PNG_SSE41 inline __m128i Pick(__m128i mask, __m128i yes, __m128i no)
    {
        return _mm_blendv_epi8(no, yes, mask);
    }
};

// |x - y| per unsigned byte.
PNG_INLINE __m128i Distance(__m128i x, __m128i y) { return _mm_sub_epi8(_mm_max_epu8(x, y), _mm_min_epu8(x, y)); }

// x <= y per unsigned byte, as a mask.
PNG_INLINE __m128i AtMost(__m128i x, __m128i y) { return _mm_cmpeq_epi8(_mm_min_epu8(x, y), x); }

template <typename Select>
PNG_INLINE __m128i PaethPredictor(__m128i a, __m128i b, __m128i c)
{
    const __m128i pa = Distance(b, c), pb = Distance(a, c);
    const __m128i signsDiffer = _mm_xor_si128(AtMost(a, c), AtMost(b, c));
    const __m128i pc = Select::Pick(signsDiffer, Distance(pa, pb), _mm_adds_epu8(pa, pb));
    const __m128i nearest = _mm_min_epu8(pb, pc);
    const __m128i useA = _mm_cmpeq_epi8(_mm_min_epu8(pa, nearest), pa);  // pa <= pb and pa <= pc
    const __m128i useB = _mm_cmpeq_epi8(nearest, pb);                     // pb <= pc
    return Select::Pick(useA, a, Select::Pick(useB, b, c));
}

// A pixel is loaded as 4 bytes (those past its Step bytes belong to the
// next pixels and are never stored) and stored as exactly Step bytes.
PNG_INLINE __m128i LoadWord(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(static_cast<int>(v));
}

template <int Step>
PNG_INLINE void StoreLow(uint8_t* p, __m128i v)
{
    const uint32_t word = static_cast<uint32_t>(_mm_cvtsi128_si32(v));
    if constexpr (Step == 1) {
        p[0] = static_cast<uint8_t>(word);
    } else if constexpr (Step == 2) {
        const uint16_t pair = static_cast<uint16_t>(word);
        std::memcpy(p, &pair, 2);
    } else if constexpr (Step == 4) {
        std::memcpy(p, &word, 4);
    } else {
        const uint16_t pair = static_cast<uint16_t>(word);
        std::memcpy(p, &pair, 2);
        p[2] = static_cast<uint8_t>(word >> 16);
    }
}

// Each row's filter type as lane masks (types above 4, which leave a row as
// it is, count as None); Paeth where no mask is set.
struct LaneTypes {
    __m128i None, Sub, Up, Average;
};

LaneTypes TypesOf(const uint8_t* rows, int32_t stride)
{
    const auto lanes = [&](auto is) {
        return _mm_set_epi32(is(rows[3 * stride]) ? -1 : 0, is(rows[2 * stride]) ? -1 : 0,
                             is(rows[stride]) ? -1 : 0, is(rows[0]) ? -1 : 0);
    };
    return {lanes([](uint8_t type) { return type == 0 || type > 4; }), lanes([](uint8_t type) { return type == 1; }),
            lanes([](uint8_t type) { return type == 2; }), lanes([](uint8_t type) { return type == 3; })};
}

// The predictor of each lane's filter type; all Paeth unless Mixed.
template <bool Mixed, typename Select>
PNG_INLINE __m128i Predictor(const LaneTypes& types, __m128i a, __m128i b, __m128i c)
{
    __m128i predictor = PaethPredictor<Select>(a, b, c);
    if constexpr (Mixed) {
        // floor((a + b) / 2): the rounding-up average less the bit it added.
        const __m128i average = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
        predictor = Select::Pick(types.Average, average, predictor);
        predictor = Select::Pick(types.Up, b, predictor);
        predictor = Select::Pick(types.Sub, a, predictor);
        predictor = _mm_andnot_si128(types.None, predictor);
    }
    return predictor;
}

// Pass t: row k restores its pixel t - k when that is one of the first
// `pixels`. At the edges (Edge) rows outside that range load nothing, store
// nothing and keep zeros, which a row starting at pixel 0 takes for its a
// and c.
template <int Step, bool Edge, bool Mixed, typename Select>
PNG_INLINE void Pass(const LaneTypes& types, uint8_t* x, int32_t stride, const uint8_t* above, int32_t t,
                     int32_t pixels, __m128i& last, __m128i& lastB)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i raw[4];
    bool active[4];
    for (int k = 0; k < 4; ++k) {
        active[k] = !Edge || (t - k >= 0 && t - k < pixels);
        raw[k] = active[k] ? LoadWord(x + k * stride + (t - k) * Step) : zero;
    }
    const __m128i raws = _mm_unpacklo_epi64(_mm_unpacklo_epi32(raw[0], raw[1]), _mm_unpacklo_epi32(raw[2], raw[3]));
    const __m128i top = !Edge || t < pixels ? LoadWord(above + t * Step) : zero;
    const __m128i b = _mm_or_si128(_mm_slli_si128(last, 4), top);
    __m128i restored = _mm_add_epi8(raws, Predictor<Mixed, Select>(types, last, b, lastB));
    if constexpr (Edge) {
        const __m128i keep = _mm_set_epi32(active[3] ? -1 : 0, active[2] ? -1 : 0, active[1] ? -1 : 0,
                                           active[0] ? -1 : 0);
        restored = _mm_and_si128(restored, keep);
    }
    if (active[0])
        StoreLow<Step>(x + t * Step, restored);
    if (active[1])
        StoreLow<Step>(x + stride + (t - 1) * Step, _mm_srli_si128(restored, 4));
    if (active[2])
        StoreLow<Step>(x + 2 * stride + (t - 2) * Step, _mm_srli_si128(restored, 8));
    if (active[3])
        StoreLow<Step>(x + 3 * stride + (t - 3) * Step, _mm_srli_si128(restored, 12));
    last = restored;
    lastB = b;
}

// The bytes of row x (past its filter byte) from `from` on, by its type,
// against b, the row above.
void RowTail(uint8_t type, uint8_t* x, const uint8_t* b, int32_t from, int32_t length, int32_t step)
{
    switch (type) {
    case 1:
        return SubTail(x, from, length, step);
    case 2:
        for (int32_t i = from; i < length; ++i)
            x[i] = static_cast<uint8_t>(x[i] + b[i]);
        return;
    case 3:
        return AverageTail(x, b, from, length, step);
    case 4:
        return PaethTail(x, b, from, length, step);
    default:
        return;
    }
}

// A row's whole pixels up to the last that a 4-byte load covers go through
// the passes; the rest, row by row, through the byte loops.
template <int Step, bool Mixed, typename Select>
PNG_INLINE void RowsLoop(uint8_t* rows, int32_t stride, const uint8_t* previous, int32_t length)
{
    uint8_t* x = rows + 1;
    const uint8_t* above = previous + 1;
    const int32_t pixels = length >= 4 ? (length - 4) / Step + 1 : 0;
    const LaneTypes types = Mixed ? TypesOf(rows, stride) : LaneTypes{};
    __m128i last = _mm_setzero_si128(), lastB = last;
    int32_t t = 0;
    for (; t < 3 && t < pixels + 3; ++t)
        Pass<Step, true, Mixed, Select>(types, x, stride, above, t, pixels, last, lastB);
    for (; t < pixels; ++t)
        Pass<Step, false, Mixed, Select>(types, x, stride, above, t, pixels, last, lastB);
    for (; t < pixels + 3; ++t)
        Pass<Step, true, Mixed, Select>(types, x, stride, above, t, pixels, last, lastB);
    for (int k = 0; k < 4; ++k)
        RowTail(rows[k * stride], x + k * stride, k == 0 ? above : x + (k - 1) * stride, pixels * Step, length, Step);
}

template <int Step, typename Select>
PNG_INLINE void FourRows(uint8_t* rows, int32_t stride, const uint8_t* previous, int32_t length)
{
    const uint8_t paeth = static_cast<uint8_t>(FilterType::Paeth);
    if (rows[0] == paeth && rows[stride] == paeth && rows[2 * stride] == paeth && rows[3 * stride] == paeth)
        RowsLoop<Step, false, Select>(rows, stride, previous, length);
    else
        RowsLoop<Step, true, Select>(rows, stride, previous, length);
}

template <int Step>
void FourRowsSse2(uint8_t* rows, int32_t stride, const uint8_t* previous, int32_t length)
{
    FourRows<Step, Sse2Select>(rows, stride, previous, length);
}

template <int Step>
PNG_SSE41 void FourRowsSse41(uint8_t* rows, int32_t stride, const uint8_t* previous, int32_t length)
{
    FourRows<Step, Sse41Select>(rows, stride, previous, length);
}

}  // namespace

void ChooseWavefrontFilters(const ProcessorFeatures& features, int32_t step, RowFilters& filters)
{
    if (!features.Sse2 || step < 1 || step > 4)
        return;
    constexpr FourRowsRoutine kSse2[] = {FourRowsSse2<1>, FourRowsSse2<2>, FourRowsSse2<3>, FourRowsSse2<4>};
    constexpr FourRowsRoutine kSse41[] = {FourRowsSse41<1>, FourRowsSse41<2>, FourRowsSse41<3>, FourRowsSse41<4>};
    filters.FourRows = features.Sse41 ? kSse41[step - 1] : kSse2[step - 1];
}
#endif
