// CRC-32 by carry-less multiplication (Intel, "Fast CRC Computation for
// Generic Polynomials Using PCLMULQDQ Instruction", 2009), in the reflected
// bit order of the PNG CRC: four 128-bit lanes are folded forward 64 bytes at
// a time, folded into one, then reduced to 32 bits by Barrett's method.
#include "png/read/crc32.h"

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>
#include <wmmintrin.h>

#define PNG_CLMUL __attribute__((target("sse2,pclmul")))

namespace {

// x^(k) mod P(x), bit-reflected, for the fold distances of the paper:
// 512 bits (four lanes), 128 bits (one lane), 64 bits; then P(x) and the
// Barrett constant floor(x^64 / P(x)).
alignas(16) constexpr uint64_t kFold4[2] = {0x0154442bd4, 0x01c6e41596};
alignas(16) constexpr uint64_t kFold1[2] = {0x01751997d0, 0x00ccaa009e};
alignas(16) constexpr uint64_t kFold64[2] = {0x0163cd6124, 0};
alignas(16) constexpr uint64_t kBarrett[2] = {0x01db710641, 0x01f7011641};

PNG_CLMUL inline __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
PNG_CLMUL inline __m128i Constants(const uint64_t* k) { return _mm_load_si128(reinterpret_cast<const __m128i*>(k)); }

// One lane carried 128 bits (or 512 with kFold4) forward and added to next.
PNG_CLMUL inline __m128i Fold(__m128i lane, __m128i k, __m128i next)
{
    const __m128i low = _mm_clmulepi64_si128(lane, k, 0x00);
    const __m128i high = _mm_clmulepi64_si128(lane, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

// 128 bits of remainder to the 32-bit register.
PNG_CLMUL uint32_t Reduce(__m128i x)
{
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    __m128i t = _mm_clmulepi64_si128(x, Constants(kFold1), 0x10);
    x = _mm_xor_si128(_mm_srli_si128(x, 8), t);
    t = _mm_srli_si128(x, 4);
    x = _mm_clmulepi64_si128(_mm_and_si128(x, low32), Constants(kFold64), 0x00);
    x = _mm_xor_si128(x, t);
    const __m128i poly = Constants(kBarrett);
    t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), poly, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), poly, 0x00);
    x = _mm_xor_si128(x, t);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x, 4)));
}

// count is at least 64 and a multiple of 16.
PNG_CLMUL uint32_t FoldBlocks(uint32_t crc, const uint8_t* bytes, size_t count)
{
    __m128i x1 = _mm_xor_si128(Load(bytes), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = Load(bytes + 16), x3 = Load(bytes + 32), x4 = Load(bytes + 48);
    bytes += 64;
    count -= 64;
    const __m128i k4 = Constants(kFold4);
    for (; count >= 64; count -= 64, bytes += 64) {
        x1 = Fold(x1, k4, Load(bytes));
        x2 = Fold(x2, k4, Load(bytes + 16));
        x3 = Fold(x3, k4, Load(bytes + 32));
        x4 = Fold(x4, k4, Load(bytes + 48));
    }
    const __m128i k1 = Constants(kFold1);
    x1 = Fold(Fold(Fold(x1, k1, x2), k1, x3), k1, x4);
    for (; count >= 16; count -= 16, bytes += 16)
        x1 = Fold(x1, k1, Load(bytes));
    return Reduce(x1);
}

}  // namespace

uint32_t UpdateCrcClmul(uint32_t crc, const uint8_t* bytes, size_t count)
{
    if (count < 64)
        return UpdateCrcSlicing(crc, bytes, count);
    const size_t blocks = count & ~size_t{15};
    crc = FoldBlocks(crc, bytes, blocks);
    return UpdateCrcSlicing(crc, bytes + blocks, count - blocks);
}
#endif
