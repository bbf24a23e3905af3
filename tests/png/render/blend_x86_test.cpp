// The vector blend kernels against the scalar ones: every case (24 bits,
// grey with alpha, palettes of 8, 4 and 1 bits), every width from 1 to 70
// and some long rows, random pictures, alphas and destinations, for each set
// of processor features this machine has. Same bytes, the unused fourth byte
// of every work pixel untouched, nothing written past the buffer.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "png/render/blend.h"
#include "png/cpu.h"

namespace {

constexpr size_t kGuard = 32;

std::vector<ProcessorFeatures> VectorSets()
{
    const ProcessorFeatures& host = Features();
    std::vector<ProcessorFeatures> sets;
    if (host.Ssse3)
        sets.push_back({true, true, false, false, false});
    if (host.Avx2)
        sets.push_back({true, true, true, true, false});
    return sets;
}

struct Case {
    uint16_t BitCount;
    uint8_t ColorType;
};

constexpr Case kCases[] = {{24, 6}, {8, 4}, {8, 3}, {4, 3}, {1, 3}, {8, 0}};

struct RandomPicture {
    std::vector<uint8_t> Pixels, Alpha;
    ColorTable Colors{};
    AlphaTable Transparency{};
    BlendSource Source;

    RandomPicture(int32_t width, int32_t height, const Case& c, std::mt19937& random)
    {
        const int64_t stride = ((int64_t{width} * c.BitCount + 31) & ~31) / 8;
        Pixels.resize(size_t(stride) * height);
        Alpha.resize(size_t(width) * height);
        // Clear, opaque and everything between, in runs of 1 to 20 (long
        // enough for a kernel to skip a clear stretch) and mixed.
        for (size_t i = 0; i < Alpha.size();) {
            const int kind = static_cast<int>(random() % 4);
            for (size_t run = 1 + random() % 20; run > 0 && i < Alpha.size(); --run, ++i)
                Alpha[i] = kind == 0 ? 0 : kind == 1 ? 255 : static_cast<uint8_t>(random());
        }
        for (uint8_t& p : Pixels)
            p = static_cast<uint8_t>(random());
        for (auto& entry : Colors)
            entry = {static_cast<uint8_t>(random()), static_cast<uint8_t>(random()), static_cast<uint8_t>(random()), 0};
        for (uint8_t& t : Transparency)
            t = static_cast<uint8_t>(random());
        const int32_t entries = static_cast<int32_t>(random() % 300);
        Source = {Pixels.data(), stride, Alpha.data(), width, height, c.BitCount, c.ColorType, &Colors, entries,
                  random() % 5 == 0 ? nullptr : &Transparency};
    }
};

TEST(WideBlend, VectorKernelsGiveTheScalarBytes)
{
    std::mt19937 random(31);
    std::vector<int32_t> widths = {255, 1001, 2050};
    for (int32_t w = 1; w <= 70; ++w)
        widths.push_back(w);
    for (const ProcessorFeatures& features : VectorSets())
        for (const Case& c : kCases)
            for (int32_t width : widths) {
                const int32_t height = 1 + static_cast<int32_t>(random() % 3);
                RandomPicture picture(width, height, c, random);
                std::vector<uint8_t> destination(size_t(width) * height * 4 + kGuard);
                for (uint8_t& d : destination)
                    d = static_cast<uint8_t>(random());
                std::vector<uint8_t> expected = destination, actual = destination;
                BlendRows(expected.data(), picture.Source, ProcessorFeatures{});
                BlendRows(actual.data(), picture.Source, features);
                ASSERT_EQ(actual, expected) << "bits " << c.BitCount << ", type " << int{c.ColorType} << ", width "
                                            << width << ", avx2 " << features.Avx2;
                for (size_t i = 3; i < size_t(width) * height * 4; i += 4)
                    ASSERT_EQ(actual[i], destination[i]) << "the unused byte of pixel " << i / 4 << " changed";
            }
}

TEST(WideBlend, ExtremesOfEveryChannel)
{
    // Every source and destination value against alphas 0, 1, 128, 254, 255
    // in one row: the wrapped 16-bit sums must still give the exact formula.
    const int32_t width = 256;
    for (const ProcessorFeatures& features : VectorSets())
        for (uint8_t a : {0, 1, 128, 254, 255}) {
            std::vector<uint8_t> pixels(size_t(width) * 3), alpha(width, a), work(size_t(width) * 4);
            for (int32_t x = 0; x < width; ++x) {
                pixels[3 * x] = static_cast<uint8_t>(x);
                pixels[3 * x + 1] = static_cast<uint8_t>(255 - x);
                pixels[3 * x + 2] = static_cast<uint8_t>(x * 7);
                for (int k = 0; k < 4; ++k)
                    work[4 * x + k] = static_cast<uint8_t>(255 - x * (k + 1));
            }
            BlendSource source{pixels.data(), width * 3, alpha.data(), width, 1, 24, 6, nullptr, 0, nullptr};
            std::vector<uint8_t> expected = work;
            BlendRows(expected.data(), source, ProcessorFeatures{});
            BlendRows(work.data(), source, features);
            ASSERT_EQ(work, expected) << "alpha " << int{a};
        }
}

TEST(WideBlend, EverySourceAlphaAndDestinationValue)
{
    // All 2^24 triples of source, alpha and destination byte: 256 rows of
    // 256 pixels per alpha, source x in every channel over destination y.
    const int32_t size = 256;
    std::vector<uint8_t> pixels(size_t(size) * size * 3), work(size_t(size) * size * 4);
    for (int32_t y = 0; y < size; ++y)
        for (int32_t x = 0; x < size; ++x)
            for (int k = 0; k < 3; ++k)
                pixels[(size_t(y) * size + x) * 3 + k] = static_cast<uint8_t>(x);
    for (const ProcessorFeatures& features : VectorSets())
        for (int32_t a = 0; a < 256; ++a) {
            std::vector<uint8_t> alpha(size_t(size) * size, static_cast<uint8_t>(a));
            for (int32_t y = 0; y < size; ++y)
                std::fill_n(work.begin() + ptrdiff_t(y) * size * 4, size * 4, static_cast<uint8_t>(y));
            BlendSource source{pixels.data(), size * 3, alpha.data(), size, size, 24, 6, nullptr, 0, nullptr};
            BlendRows(work.data(), source, features);
            // Rows of the pixel buffer run bottom-up: work row r shows source row size - 1 - r.
            for (int32_t r = 0; r < size; ++r)
                for (int32_t x = 0; x < size; ++x) {
                    const uint8_t* pixel = &work[(size_t(r) * size + x) * 4];
                    const uint8_t expected = BlendChannel(static_cast<uint8_t>(x), static_cast<uint8_t>(a),
                                                          static_cast<uint8_t>(r));
                    ASSERT_TRUE(pixel[0] == expected && pixel[1] == expected && pixel[2] == expected &&
                                pixel[3] == r)
                        << "s " << x << ", a " << a << ", d " << r;
                }
        }
}

}  // namespace
