#include "png/read/adler32.h"

#include <zlib.h>

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

constexpr uint32_t kBase = 65521;
// The most bytes after which the sums, started below kBase, still fit in 32
// bits (zlib's NMAX), as a multiple of the 32-byte block.
constexpr size_t kBlocksPerReduction = 5552 / 32;

#if defined(__i386__) || defined(__x86_64__)
// 32 bytes per step: s1 gains their sum; s2 gains 32 times s1 as it was
// plus the bytes weighted 32, 31, ... 1 (multiply-adds of the SSSE3 set).
__attribute__((target("ssse3"))) uint32_t AdlerSsse3(uint32_t adler, const uint8_t* bytes, size_t count)
{
    uint32_t s1 = adler & 0xFFFF, s2 = adler >> 16;
    const __m128i weights1 = _mm_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17);
    const __m128i weights2 = _mm_setr_epi8(16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
    const __m128i zero = _mm_setzero_si128(), ones = _mm_set1_epi16(1);
    size_t blocks = count / 32;
    while (blocks > 0) {
        const size_t n = blocks < kBlocksPerReduction ? blocks : kBlocksPerReduction;
        blocks -= n;
        __m128i sum = zero, before = _mm_cvtsi32_si128(static_cast<int>(s1 * n)), weighted = _mm_cvtsi32_si128(static_cast<int>(s2));
        for (size_t k = 0; k < n; ++k, bytes += 32) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16));
            before = _mm_add_epi32(before, sum);
            sum = _mm_add_epi32(sum, _mm_add_epi32(_mm_sad_epu8(a, zero), _mm_sad_epu8(b, zero)));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_maddubs_epi16(a, weights1), ones));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_maddubs_epi16(b, weights2), ones));
        }
        weighted = _mm_add_epi32(weighted, _mm_slli_epi32(before, 5));
        sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(1, 0, 3, 2)));
        weighted = _mm_add_epi32(weighted, _mm_shuffle_epi32(weighted, _MM_SHUFFLE(2, 3, 0, 1)));
        weighted = _mm_add_epi32(weighted, _mm_shuffle_epi32(weighted, _MM_SHUFFLE(1, 0, 3, 2)));
        s1 = (s1 + static_cast<uint32_t>(_mm_cvtsi128_si32(sum))) % kBase;
        s2 = static_cast<uint32_t>(_mm_cvtsi128_si32(weighted)) % kBase;
    }
    return static_cast<uint32_t>(adler32(s1 | (s2 << 16), bytes, static_cast<uInt>(count % 32)));
}

// The sum of v's eight lanes, each below 2^32 (the reduction interval).
__attribute__((target("avx2"))) inline uint32_t Fold(__m256i v)
{
    __m128i x = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    x = _mm_add_epi32(x, _mm_shuffle_epi32(x, _MM_SHUFFLE(1, 0, 3, 2)));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_add_epi32(x, _mm_shuffle_epi32(x, _MM_SHUFFLE(2, 3, 0, 1)))));
}

// The same 32 bytes a step in one register: half the instructions.
__attribute__((target("avx2"))) uint32_t AdlerAvx2(uint32_t adler, const uint8_t* bytes, size_t count)
{
    uint32_t s1 = adler & 0xFFFF, s2 = adler >> 16;
    const __m256i weights = _mm256_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15,
                                             14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
    const __m256i zero = _mm256_setzero_si256(), ones = _mm256_set1_epi16(1);
    size_t blocks = count / 32;
    while (blocks > 0) {
        const size_t n = blocks < kBlocksPerReduction ? blocks : kBlocksPerReduction;
        blocks -= n;
        __m256i sum = zero, before = zero, weighted = zero;
        for (size_t k = 0; k < n; ++k, bytes += 32) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
            before = _mm256_add_epi32(before, sum);
            sum = _mm256_add_epi32(sum, _mm256_sad_epu8(a, zero));
            weighted = _mm256_add_epi32(weighted, _mm256_madd_epi16(_mm256_maddubs_epi16(a, weights), ones));
        }
        const uint32_t earlier = static_cast<uint32_t>((uint64_t{s1} * n + Fold(before)) % kBase);
        s2 = static_cast<uint32_t>((s2 + uint64_t{32} * earlier + Fold(weighted)) % kBase);
        s1 = (s1 + Fold(sum)) % kBase;
    }
    return static_cast<uint32_t>(adler32(s1 | (s2 << 16), bytes, static_cast<uInt>(count % 32)));
}
#endif

}  // namespace

uint32_t UpdateAdler(uint32_t adler, const uint8_t* bytes, size_t count, const ProcessorFeatures& features)
{
#if defined(__i386__) || defined(__x86_64__)
    if (features.Avx2)
        return AdlerAvx2(adler, bytes, count);
    if (features.Ssse3)
        return AdlerSsse3(adler, bytes, count);
#else
    (void)features;
#endif
    // zlib takes counts in 32 bits on some platforms: feed it in slices.
    while (count > 0) {
        const uInt slice = count > (1u << 30) ? (1u << 30) : static_cast<uInt>(count);
        adler = static_cast<uint32_t>(::adler32(adler, bytes, slice));
        bytes += slice;
        count -= slice;
    }
    return adler;
}

uint32_t UpdateAdler(uint32_t adler, const uint8_t* bytes, size_t count)
{
    return UpdateAdler(adler, bytes, count, Features());
}
