#include "png/rows/filters_choose.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
constexpr uint64_t kHigh1 = 0x8080808080808080ull;

int32_t GroupCount(int32_t length) { return length < 0 ? 0 : (length + 8) / 8; }

// Packed byte addition in a word: the low 7 bits of each byte add without
// reaching the next byte, the top bit is the xor of the two top bits and the
// carry that came up into it.
uint64_t AddBytes(uint64_t x, uint64_t y) { return ((x & kLow7) + (y & kLow7)) ^ ((x ^ y) & kHigh1); }

// Each functor restores one byte from its raw value and its neighbours: a,
// restored just before, b above and c above-left.
//
// Paeth with as little as possible waiting for a: pa = |b - c| and the sums
// of the raw byte with b and with c do not need it; pb = |a - c| and
// pc = |(a - c) + (b - c)| share a - c. Same ties as PaethPredictor (a,
// then b, then c), chosen by conditional moves: on noisy rows a branch here
// would be a coin toss.
struct PaethRestore {
    uint32_t operator()(uint32_t raw, uint32_t a, uint32_t b, uint32_t c) const
    {
        const int d = int(b) - int(c);
        const int pa = d < 0 ? -d : d;
        const uint32_t withB = (raw + b) & 0xFF, withC = (raw + c) & 0xFF;
        const int t = int(a) - int(c);
        const int pb = t < 0 ? -t : t;
        const int pc = t + d < 0 ? -(t + d) : t + d;
        const uint32_t withA = (raw + a) & 0xFF;
        const uint32_t withBOrC = pb <= pc ? withB : withC;
        return ((pa <= pb) & (pa <= pc)) ? withA : withBOrC;
    }
};

// The sum reaches 510: it is taken in 32 bits, never in a byte.
struct AverageRestore {
    uint32_t operator()(uint32_t raw, uint32_t a, uint32_t b, uint32_t) const { return (raw + ((a + b) >> 1)) & 0xFF; }
};

// Step independent chains, each carrying its restored left byte in a[k] and
// its upper-left byte in c[k]; both start at 0 (nothing left of the row).
template <int Step, typename Restore>
void CarriedLoop(uint8_t* row, const uint8_t* previous, int32_t length)
{
    const Restore restore;
    uint8_t* x = row + 1;
    const uint8_t* b = previous + 1;
    if constexpr (Step == 1) {
        // Plain locals: the 32-bit build has too few registers to keep an
        // array out of memory.
        uint32_t a = 0, c = 0;
        for (int32_t i = 0; i < length; ++i) {
            const uint32_t above = b[i];
            a = restore(x[i], a, above, c);
            c = above;
            x[i] = static_cast<uint8_t>(a);
        }
        return;
    }
    uint32_t a[Step] = {}, c[Step] = {};
    int32_t i = 0;
    for (; i + Step <= length; i += Step) {
        for (int k = 0; k < Step; ++k) {
            const uint32_t above = b[i + k];
            a[k] = restore(x[i + k], a[k], above, c[k]);
            c[k] = above;
            x[i + k] = static_cast<uint8_t>(a[k]);
        }
    }
    for (int k = 0; i + k < length; ++k)
        x[i + k] = static_cast<uint8_t>(restore(x[i + k], a[k], b[i + k], c[k]));
}

}  // namespace

void UnfilterUpWords(uint8_t* row, const uint8_t* previous, int32_t length, int32_t)
{
    int32_t groups = GroupCount(length);
    for (int32_t g = 0; g < groups; ++g) {
        uint8_t addend[8];
        std::memcpy(addend, previous + 8 * g, 8);
        if (g == 0)
            addend[0] = 0;
        uint64_t x, y;
        std::memcpy(&x, row + 8 * g, 8);
        std::memcpy(&y, addend, 8);
        x = AddBytes(x, y);
        std::memcpy(row + 8 * g, &x, 8);
    }
}

#if defined(__SSE2__)
void UnfilterUpSse2(uint8_t* row, const uint8_t* previous, int32_t length, int32_t)
{
    int32_t groups = GroupCount(length);
    if (groups == 0)
        return;
    // Byte 0 of the first group is the filter type: its addend is 0.
    const __m128i firstMask = _mm_set_epi8(0, 0, 0, 0, 0, 0, 0, 0, -1, -1, -1, -1, -1, -1, -1, 0);
    __m128i x = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row));
    __m128i y = _mm_and_si128(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(previous)), firstMask);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(row), _mm_add_epi8(x, y));
    for (int32_t g = 1; g < groups; ++g) {
        x = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + 8 * g));
        y = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(previous + 8 * g));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(row + 8 * g), _mm_add_epi8(x, y));
    }
}
#endif

void UnfilterUpWide(uint8_t* row, const uint8_t* previous, int32_t length, int32_t step)
{
#if defined(__SSE2__)
    UnfilterUpSse2(row, previous, length, step);
#else
    UnfilterUpWords(row, previous, length, step);
#endif
}

// With a = c = 0 for the first step bytes both predictors reduce to what the
// standard prescribes there: floor(b / 2) and b. Other steps go to the byte
// loops.
namespace {

template <FilterType Type, typename Restore>
void UnfilterCarried(uint8_t* row, const uint8_t* previous, int32_t length, int32_t step)
{
    if (step == 1)
        CarriedLoop<1, Restore>(row, previous, length);
    else if (step == 2)
        CarriedLoop<2, Restore>(row, previous, length);
    else
        ChooseRowFilters(false).Routines[static_cast<int>(Type)](row, previous, length, step);
}

}  // namespace

void UnfilterAverageCarried(uint8_t* row, const uint8_t* previous, int32_t length, int32_t step)
{
    UnfilterCarried<FilterType::Average, AverageRestore>(row, previous, length, step);
}

void UnfilterPaethCarried(uint8_t* row, const uint8_t* previous, int32_t length, int32_t step)
{
    UnfilterCarried<FilterType::Paeth, PaethRestore>(row, previous, length, step);
}

RowFilters ChooseWideRowFilters(const ProcessorFeatures& features, bool wide, int32_t step)
{
    // UnfilterRow hands the routines a step of at least 1.
    step = step < 1 ? 1 : step;
    RowFilters filters = ChooseRowFilters(wide);
    if (step == 1 || step == 2) {
        filters.Routines[static_cast<int>(FilterType::Average)] = UnfilterAverageCarried;
        filters.Routines[static_cast<int>(FilterType::Paeth)] = UnfilterPaethCarried;
    }
#if defined(__i386__) || defined(__x86_64__)
    ChooseVectorFilters(features, wide, step, filters);
    ChooseWavefrontFilters(features, step, filters);
#else
    (void)features;
#endif
    return filters;
}
