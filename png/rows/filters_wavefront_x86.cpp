// Consecutive rows restored in one pass: four rows of pixels of 1 to 4
// bytes, or sixteen of 1-byte pixels. A register holds one pixel of each
// row in a lane of its own (4 bytes or 1), each row one pixel behind the
// row above it, so a pixel's b is the pixel the row above restored in the
// pass before, its c that pixel's b, its a the row's own last result. Each
// lane takes the predictor of its row's filter type; rows all Paeth or all
// Average need no choice between types. The Paeth choice is made on the
// bytes themselves: with pa = |b - c| and pb = |a - c|, pc = |(a - c) +
// (b - c)| is pa + pb where both differences have the same sign, never
// below pa or pb, so the nearer of a and b wins; where they differ it is
// |pa - pb|, and c wins where that is below both. One run of the
// arithmetic restores a pixel of every row. Away from the rows' ends the
// pixels are loaded and stored a block at a time (sixteen 1-byte pixels, or
// four of 3 or 4 bytes, of each row) and transposed into the lanes and
// back, instead of one lane at a time.
#include "png/rows/filters_choose.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>

#include <cstring>
#include <type_traits>

#define PNG_SSE41 __attribute__((target("sse4.1")))
#define PNG_INLINE inline __attribute__((always_inline))

namespace {

// Above: the last pass's lanes moved up one (each row's b), the row above's
// pixel, from top's low lane or (AboveHigh) high's last, in the first. On
// the chain from pass to pass: one byte shift with SSSE3.
struct Sse2Select {
    static PNG_INLINE __m128i Pick(__m128i mask, __m128i yes, __m128i no)
    {
        return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
    }
    template <int LaneBytes>
    static PNG_INLINE __m128i Above(__m128i last, __m128i top) { return _mm_or_si128(_mm_slli_si128(last, LaneBytes), top); }
};

struct Sse41Select {
    static PNG_SSE41 inline __m128i Pick(__m128i mask, __m128i yes, __m128i no) { return _mm_blendv_epi8(no, yes, mask); }
    static PNG_SSE41 inline __m128i Shuffle(__m128i v, __m128i order) { return _mm_shuffle_epi8(v, order); }
    template <int LaneBytes>
    static PNG_SSE41 inline __m128i AboveHigh(__m128i last, __m128i high)
    {
        return _mm_alignr_epi8(last, high, 16 - LaneBytes);
    }
    template <int LaneBytes>
    static PNG_SSE41 inline __m128i Above(__m128i last, __m128i top)
    {
        return AboveHigh<LaneBytes>(last, _mm_slli_si128(top, 16 - LaneBytes));
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
    const __m128i nearer = _mm_min_epu8(pa, pb);
    const __m128i aOrB = Select::Pick(_mm_cmpeq_epi8(nearer, pa), a, b);  // a on a tie
    const __m128i pcNotBelow = AtMost(nearer, _mm_sub_epi8(_mm_max_epu8(pa, pb), nearer));
    return Select::Pick(_mm_andnot_si128(pcNotBelow, signsDiffer), c, aOrB);
}

// A lane of LaneBytes holds one pixel: of 4-byte lanes a pixel is loaded
// as 4 bytes (those past its Step bytes belong to the next pixels and are
// never stored); every pixel is stored as exactly Step bytes.
template <int LaneBytes>
PNG_INLINE uint32_t LoadLane(const uint8_t* p)
{
    uint32_t v = 0;  // x86: the bytes in memory order from the lowest
    std::memcpy(&v, p, LaneBytes);
    return v;
}

// One register of the lanes' values: four by unpacking, sixteen through memory.
template <int Lanes>
PNG_INLINE __m128i Gather(const uint32_t (&lane)[Lanes])
{
    if constexpr (Lanes == 4) {
        const auto word = [&](int k) { return _mm_cvtsi32_si128(static_cast<int>(lane[k])); };
        return _mm_unpacklo_epi64(_mm_unpacklo_epi32(word(0), word(1)), _mm_unpacklo_epi32(word(2), word(3)));
    }
    alignas(16) uint8_t bytes[16];
    for (int k = 0; k < Lanes; ++k)
        std::memcpy(bytes + k * (16 / Lanes), &lane[k], 16 / Lanes);
    return _mm_load_si128(reinterpret_cast<const __m128i*>(bytes));
}

// Each row's filter type as lane masks (types above 4, which leave a row as
// it is, count as None); Paeth where no mask is set.
struct LaneTypes { __m128i None, Sub, Up, Average; };

template <int Lanes>
LaneTypes TypesOf(const uint8_t* rows, int32_t stride)
{
    constexpr int kLaneBytes = 16 / Lanes;
    alignas(16) uint8_t masks[4][16];
    for (int k = 0; k < Lanes; ++k) {
        const uint8_t type = rows[k * stride];
        const bool is[4] = {type == 0 || type > 4, type == 1, type == 2, type == 3};
        for (int m = 0; m < 4; ++m)
            std::memset(masks[m] + k * kLaneBytes, is[m] ? 0xFF : 0, kLaneBytes);
    }
    const auto load = [&](int m) { return _mm_load_si128(reinterpret_cast<const __m128i*>(masks[m])); };
    return {load(0), load(1), load(2), load(3)};
}

// Which predictors the rows need: Paeth rows only, Average rows only, or
// any types, each lane its own.
enum class Kind { Paeth, Average, Mixed };

// floor((a + b) / 2): the rounding-up average less the bit it added.
PNG_INLINE __m128i Average(__m128i a, __m128i b)
{
    return _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), _mm_set1_epi8(1)));
}

template <Kind K, typename Select>
PNG_INLINE __m128i Predictor(const LaneTypes& types, __m128i a, __m128i b, __m128i c)
{
    if constexpr (K == Kind::Average)
        return Average(a, b);
    __m128i predictor = PaethPredictor<Select>(a, b, c);
    if constexpr (K == Kind::Mixed) {
        predictor = Select::Pick(types.Average, Average(a, b), predictor);
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
template <int Step, int Lanes, bool Edge, Kind K, typename Select>
PNG_INLINE void Pass(const LaneTypes& types, uint8_t* x, int32_t stride, const uint8_t* above, int32_t t,
                     int32_t pixels, __m128i& last, __m128i& lastB)
{
    constexpr int kLaneBytes = 16 / Lanes;
    uint32_t raw[Lanes], keep[Lanes];
    bool active[Lanes];
    for (int k = 0; k < Lanes; ++k) {
        active[k] = !Edge || (t - k >= 0 && t - k < pixels);
        raw[k] = active[k] ? LoadLane<kLaneBytes>(x + k * stride + (t - k) * Step) : 0;
        keep[k] = active[k] ? ~0u : 0;
    }
    const uint32_t topLane = !Edge || t < pixels ? LoadLane<kLaneBytes>(above + t * Step) : 0;
    const __m128i b = Select::template Above<kLaneBytes>(last, _mm_cvtsi32_si128(static_cast<int>(topLane)));
    __m128i restored = _mm_add_epi8(Gather<Lanes>(raw), Predictor<K, Select>(types, last, b, lastB));
    if constexpr (Edge)
        restored = _mm_and_si128(restored, Gather<Lanes>(keep));
    last = restored;
    lastB = b;
    if constexpr (Lanes == 4) {  // four-byte lanes straight from the register, shifted
        for (int k = 0; k < 4; ++k, restored = _mm_srli_si128(restored, 4)) {
            const uint32_t word = static_cast<uint32_t>(_mm_cvtsi128_si32(restored));
            if (active[k])
                std::memcpy(x + k * stride + (t - k) * Step, &word, Step);  // x86: the low bytes first
        }
    } else {
        alignas(16) uint8_t lanes[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), restored);
        for (int k = 0; k < Lanes; ++k)
            if (active[k])
                std::memcpy(x + k * stride + (t - k) * Step, lanes + k * kLaneBytes, Step);
    }
}

// out[j] byte k = in[k] byte j: bytes, then words, doublewords and
// quadwords of row pairs interleaved. Its own inverse.
PNG_INLINE void Transpose(__m128i (&m)[16])
{
    __m128i t[16], u[16];
    for (int i = 0; i < 8; ++i) {
        t[2 * i] = _mm_unpacklo_epi8(m[2 * i], m[2 * i + 1]);
        t[2 * i + 1] = _mm_unpackhi_epi8(m[2 * i], m[2 * i + 1]);
    }
    for (int i = 0; i < 4; ++i)
        for (int h = 0; h < 2; ++h) {
            u[4 * i + 2 * h] = _mm_unpacklo_epi16(t[4 * i + h], t[4 * i + 2 + h]);
            u[4 * i + 2 * h + 1] = _mm_unpackhi_epi16(t[4 * i + h], t[4 * i + 2 + h]);
        }
    for (int g = 0; g < 2; ++g)
        for (int q = 0; q < 4; ++q) {
            t[8 * g + 2 * q] = _mm_unpacklo_epi32(u[8 * g + q], u[8 * g + 4 + q]);
            t[8 * g + 2 * q + 1] = _mm_unpackhi_epi32(u[8 * g + q], u[8 * g + 4 + q]);
        }
    for (int c = 0; c < 16; ++c) {
        const int v = 2 * (c / 4) + (c % 4) / 2;
        m[c] = c % 2 == 0 ? _mm_unpacklo_epi64(t[v], t[8 + v]) : _mm_unpackhi_epi64(t[v], t[8 + v]);
    }
}

// Passes J to 15 of a block, on its transposed rows: p[J] holds pass J's
// raw bytes and then its restored ones; the row above's byte J of tops is
// row 0's b.
template <int J, Kind K, typename Select>
PNG_INLINE void BlockPasses(const LaneTypes& types, __m128i (&p)[16], __m128i tops, __m128i& last, __m128i& lastB)
{
    if constexpr (J < 16) {
        const __m128i b = Select::template AboveHigh<1>(last, _mm_slli_si128(tops, 15 - J));
        p[J] = _mm_add_epi8(p[J], Predictor<K, Select>(types, last, b, lastB));
        last = p[J];
        lastB = b;
        BlockPasses<J + 1, K, Select>(types, p, tops, last, lastB);
    }
}

// m[j] doubleword k = m[k] doubleword j. Its own inverse.
PNG_INLINE void Transpose(__m128i (&m)[4])
{
    const __m128i t0 = _mm_unpacklo_epi32(m[0], m[1]), t1 = _mm_unpacklo_epi32(m[2], m[3]);
    const __m128i t2 = _mm_unpackhi_epi32(m[0], m[1]), t3 = _mm_unpackhi_epi32(m[2], m[3]);
    m[0] = _mm_unpacklo_epi64(t0, t1);
    m[1] = _mm_unpackhi_epi64(t0, t1);
    m[2] = _mm_unpacklo_epi64(t2, t3);
    m[3] = _mm_unpackhi_epi64(t2, t3);
}

// A row's pixels of a block from p (sixteen of 1 byte, four of 3 or 4), a
// pixel to each lane: 3-byte pixels are spread by a byte shuffle (SSSE3),
// with 0 in each fourth byte.
template <int Step, typename Select>
PNG_INLINE __m128i LoadPixels(const uint8_t* p)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if constexpr (Step == 3)
        return Select::Shuffle(v, _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1));
    return v;
}

// Exactly those pixels' bytes back to p.
template <int Step, typename Select>
PNG_INLINE void StorePixels(uint8_t* p, __m128i v)
{
    if constexpr (Step == 3) {
        v = Select::Shuffle(v, _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
        const uint32_t tail = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(v, 8)));
        std::memcpy(p + 8, &tail, 4);
    } else {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
    }
}

// A block of the rows from pass t, one register per pass, by transposing.
template <int Step, int Lanes, typename Select>
PNG_INLINE void LoadBlock(const uint8_t* x, int32_t stride, int32_t t, __m128i (&m)[Lanes])
{
    for (int k = 0; k < Lanes; ++k)
        m[k] = LoadPixels<Step, Select>(x + k * stride + (t - k) * Step);
    Transpose(m);
}

// Blocks of passes from t while they lie inside the rows (t >= Lanes - 1,
// and row 0's sixteen bytes from pixel t in it): 16 passes of sixteen rows,
// or 4 of four. Each block is loaded before the one before it is restored,
// so that loads and transposes run beside the chain. The t after them.
template <int Step, int Lanes, Kind K, typename Select>
PNG_INLINE int32_t Blocks(const LaneTypes& types, uint8_t* x, int32_t stride, const uint8_t* above, int32_t t,
                          int32_t length, __m128i& last, __m128i& lastB)
{
    constexpr int kPasses = Lanes == 16 ? 16 : 4;
    __m128i m[Lanes], next[Lanes];
    LoadBlock<Step, Lanes, Select>(x, stride, t, m);
    for (;; t += kPasses) {
        const bool more = (t + kPasses) * Step + 16 <= length;
        if (more)
            LoadBlock<Step, Lanes, Select>(x, stride, t + kPasses, next);
        if constexpr (Lanes == 16)
            BlockPasses<0, K, Select>(types, m, _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + t)), last, lastB);
        for (int j = 0; j < (Lanes == 16 ? 0 : 4); ++j) {
            const __m128i top = _mm_cvtsi32_si128(static_cast<int>(LoadLane<4>(above + (t + j) * Step)));
            const __m128i b = Select::template Above<4>(last, top);
            m[j] = _mm_add_epi8(m[j], Predictor<K, Select>(types, last, b, lastB));
            last = m[j];
            lastB = b;
        }
        Transpose(m);
        for (int k = 0; k < Lanes; ++k)
            StorePixels<Step, Select>(x + k * stride + (t - k) * Step, m[k]);
        if (!more)
            return t + kPasses;
        for (int k = 0; k < Lanes; ++k)
            m[k] = next[k];
    }
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

// A row's whole pixels up to the last that a lane's load covers go through
// the passes; the rest, row by row, through the byte loops.
template <int Step, int Lanes, Kind K, typename Select>
PNG_INLINE void RowsLoop(uint8_t* rows, int32_t stride, const uint8_t* previous, int32_t length)
{
    constexpr int kLaneBytes = 16 / Lanes;
    uint8_t* x = rows + 1;
    const uint8_t* above = previous + 1;
    const int32_t pixels = length >= kLaneBytes ? (length - kLaneBytes) / Step + 1 : 0;
    const LaneTypes types = K == Kind::Mixed ? TypesOf<Lanes>(rows, stride) : LaneTypes{};
    __m128i last = _mm_setzero_si128(), lastB = last;
    // 3-byte pixels need the byte shuffle of the SSE4.1 form. Without blocks
    // the passes inside the rows skip the edge tests; with them the few
    // passes left beside the blocks take the edge form too, which keeps the
    // code short.
    constexpr bool kBlocks = Lanes == 16 || Step == 4 || (Step == 3 && std::is_same_v<Select, Sse41Select>);
    for (int32_t t = 0; t < pixels + Lanes - 1;) {
        const bool inside = t >= Lanes - 1 && t < pixels;
        if (kBlocks && inside && t * Step + 16 <= length) {
            if constexpr (kBlocks)
                t = Blocks<Step, Lanes, K, Select>(types, x, stride, above, t, length, last, lastB);
            continue;
        }
        if (!kBlocks && inside)
            Pass<Step, Lanes, false, K, Select>(types, x, stride, above, t, pixels, last, lastB);
        else
            Pass<Step, Lanes, true, K, Select>(types, x, stride, above, t, pixels, last, lastB);
        ++t;
    }
    for (int k = 0; k < Lanes; ++k)
        RowTail(rows[k * stride], x + k * stride, k == 0 ? above : x + (k - 1) * stride, pixels * Step, length, Step);
}

template <int Step, int Lanes, typename Select>
PNG_INLINE void ManyRows(uint8_t* rows, int32_t stride, const uint8_t* previous, int32_t length)
{
    bool allPaeth = true, allAverage = true;
    for (int k = 0; k < Lanes; ++k) {
        allPaeth = allPaeth && rows[k * stride] == static_cast<uint8_t>(FilterType::Paeth);
        allAverage = allAverage && rows[k * stride] == static_cast<uint8_t>(FilterType::Average);
    }
    // Rows all Average have a form of their own only where it pays for its
    // code: four rows of 3- and 4-byte pixels with SSE4.1.
    constexpr bool kAverageForm = Lanes == 4 && Step >= 3 && std::is_same_v<Select, Sse41Select>;
    if (allPaeth)
        return RowsLoop<Step, Lanes, Kind::Paeth, Select>(rows, stride, previous, length);
    if constexpr (kAverageForm)
        if (allAverage)
            return RowsLoop<Step, Lanes, Kind::Average, Select>(rows, stride, previous, length);
    RowsLoop<Step, Lanes, Kind::Mixed, Select>(rows, stride, previous, length);
}

template <int Step, int Lanes = 4>
void RowsSse2(uint8_t* rows, int32_t stride, const uint8_t* previous, int32_t length)
{
    ManyRows<Step, Lanes, Sse2Select>(rows, stride, previous, length);
}

template <int Step, int Lanes = 4>
PNG_SSE41 void RowsSse41(uint8_t* rows, int32_t stride, const uint8_t* previous, int32_t length)
{
    ManyRows<Step, Lanes, Sse41Select>(rows, stride, previous, length);
}

}  // namespace

void ChooseWavefrontFilters(const ProcessorFeatures& features, int32_t step, RowFilters& filters)
{
    if (!features.Sse2 || step < 1 || step > 4)
        return;
    constexpr FourRowsRoutine kSse2[] = {RowsSse2<1>, RowsSse2<2>, RowsSse2<3>, RowsSse2<4>};
    constexpr FourRowsRoutine kSse41[] = {RowsSse41<1>, RowsSse41<2>, RowsSse41<3>, RowsSse41<4>};
    filters.FourRows = features.Sse41 ? kSse41[step - 1] : kSse2[step - 1];
    // Sixteen rows with SSE4.1 only: the SSE2 form would cost the plug-in
    // 16 KB more, for processors a decade older.
    if (step == 1 && features.Sse41) {
        filters.ManyRows = RowsSse41<1, 16>;
        filters.ManyRowsCount = 16;
    }
}
#endif
