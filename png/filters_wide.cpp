#include "png/filters_wide.h"

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
