// Blend "over" of the frames: correctly rounded against the exact rational
// value, and the vector form for opaque canvas pixels byte for byte the
// reference's.
#include <gtest/gtest.h>

#include <vector>

#include "png/animation/compose.h"
#include "png/animation/compose_kernels.h"
#include "png/cpu.h"

namespace {

// The nearest integer to p / q, halves up.
uint32_t Nearest(uint64_t p, uint64_t q) { return static_cast<uint32_t>((2 * p + q) / (2 * q)); }

TEST(Compose, OverIsTheNearestIntegerToTheExactValue)
{
    for (uint32_t sa = 0; sa < 256; ++sa)
        for (uint32_t da = 0; da < 256; ++da) {
            // In 255ths: alpha sa + da (255 - sa) / 255, colour weighted by sa x 255 and da (255 - sa).
            const uint64_t weight = sa * 255 + da * (255 - sa);
            ASSERT_EQ(OverAlpha(sa, da), Nearest(weight, 255)) << sa << " over " << da;
            for (uint32_t s : {0u, 1u, 77u, 128u, 254u, 255u})
                for (uint32_t d : {0u, 3u, 128u, 200u, 255u}) {
                    const uint32_t exact = weight ? Nearest(s * sa * 255 + d * da * (255 - sa), weight) : 0;
                    ASSERT_EQ(OverChannel(s, sa, d, da), exact) << s << "/" << sa << " over " << d << "/" << da;
                }
        }
}

TEST(Compose, OpaqueRunFormsAgreeOnEveryColourAndAlpha)
{
#if defined(__i386__) || defined(__x86_64__)
    if (!Features().Ssse3)
        GTEST_SKIP() << "no SSSE3";
    // Every (s, a) over every d, in rows whose lengths leave every tail.
    for (uint32_t d = 0; d < 256; ++d) {
        const int32_t count = 65536 + static_cast<int32_t>(d % 16);
        const size_t pixels = static_cast<size_t>(count);
        std::vector<uint8_t> source(3 * pixels), alpha(pixels), reference(3 * pixels, uint8_t(d));
        for (int32_t x = 0; x < count; ++x) {
            alpha[x] = uint8_t(x >> 8);
            for (int c = 0; c < 3; ++c)
                source[3 * x + c] = uint8_t(x + 85 * c);
        }
        std::vector<uint8_t> vector = reference;
        OverOpaqueBytes(reference.data(), source.data(), alpha.data(), count);
        OverOpaqueSsse3(vector.data(), source.data(), alpha.data(), count);
        ASSERT_EQ(vector, reference) << "over " << d;
    }
#else
    GTEST_SKIP() << "no vector form here";
#endif
}

}  // namespace
