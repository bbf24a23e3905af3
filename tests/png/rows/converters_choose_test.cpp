// The converters chosen for speed against the scalar converters: every
// format, every width from 1 to 70 and some long ones, every reduction and
// Adam7 pass, with the identity table and with one that maps, for each set
// of processor features this machine has. Same bytes in the rows, nothing
// changed past them.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "png/rows/converters.h"
#include "png/rows/converters_choose.h"
#include "png/cpu.h"
#include "png/rows/filters.h"
#include "png/format.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kGuard = 16;

struct Format {
    uint8_t ColorType, Depth;
};

constexpr Format kFormats[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {3, 1}, {3, 2}, {3, 4},
                               {3, 8}, {3, 16}, {2, 8}, {2, 16}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};

std::vector<ProcessorFeatures> RunnableSets()
{
    const ProcessorFeatures& host = Features();
    std::vector<ProcessorFeatures> sets = {{}};
    if (host.Sse2)
        sets.push_back({true, false, false, false, false});
    if (host.Ssse3)
        sets.push_back({true, true, false, false, false});
    return sets;
}

struct Gamma {
    std::array<uint8_t, 256> Table;
    bool Identity;  // what the row loop would find
};

std::vector<Gamma> Tables()
{
    Gamma identity{{}, true}, mapped{{}, false};
    for (int i = 0; i < 256; ++i) {
        identity.Table[i] = static_cast<uint8_t>(i);
        mapped.Table[i] = static_cast<uint8_t>(255 - i);
    }
    return {identity, mapped};
}

Bytes Random(size_t count, std::mt19937& random)
{
    Bytes bytes(count);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random());
    return bytes;
}

// Runs both converters over the same row and destinations (random bytes
// first, then guards) and compares everything.
template <typename Run>
void ExpectSame(const ConvertParams& params, const Format& format, Run run, std::mt19937& random)
{
    const Bytes row = Random(static_cast<size_t>(params.RowLength), random);
    const size_t pixelBytes = static_cast<size_t>((int64_t{params.DecodeWidth} * DescribePixelFormat(format.ColorType, format.Depth).BitmapBits + 7) / 8);
    const size_t span = std::max<size_t>(pixelBytes, static_cast<size_t>(params.RowLength) * 2);
    const Bytes pixelsBefore = Random(span + kGuard, random), alphaBefore = Random(params.DecodeWidth + kGuard, random);
    Bytes expectedPixels = pixelsBefore, expectedAlpha = alphaBefore, pixels = pixelsBefore, alpha = alphaBefore;
    run(false, row.data(), expectedPixels.data(), expectedAlpha.data());
    run(true, row.data(), pixels.data(), alpha.data());
    ASSERT_EQ(pixels, expectedPixels);
    ASSERT_EQ(alpha, expectedAlpha);
}

std::vector<int32_t> Widths()
{
    std::vector<int32_t> widths = {255, 1000, 2049};
    for (int32_t w = 1; w <= 70; ++w)
        widths.push_back(w);
    return widths;
}

TEST(WideConverters, PlainFormsMatchTheScalarConverters)
{
    std::mt19937 random(99);
    for (const ProcessorFeatures& features : RunnableSets())
        for (const Gamma& gamma : Tables())
            for (const Format& f : kFormats)
                for (int32_t width : Widths())
                    for (int32_t shift = 0; shift <= 3; ++shift) {
                        const ConvertParams params{width >> shift, shift, static_cast<int32_t>(DescribePixelFormat(f.ColorType, f.Depth).RowBytes(width)),
                                                   width, gamma.Table.data()};
                        const PlainConverter slow = ChoosePlainConverter(f.ColorType, f.Depth, shift);
                        const PlainConverter fast =
                            ChooseFastPlainConverter(f.ColorType, f.Depth, shift, features, gamma.Identity);
                        ASSERT_NE(fast, nullptr);
                        SCOPED_TRACE(testing::Message() << "type " << int{f.ColorType} << "/" << int{f.Depth}
                                                        << ", width " << width << ", shift " << shift
                                                        << (gamma.Identity ? ", identity" : ", mapped")
                                                        << ", ssse3 " << features.Ssse3);
                        ExpectSame(params, f, [&](bool useFast, const uint8_t* row, uint8_t* p, uint8_t* a) {
                            (useFast ? fast : slow)(params, row, p, a);
                        }, random);
                    }
}

TEST(WideConverters, InterlacedFormsMatchTheScalarConvertersInEveryPass)
{
    std::mt19937 random(17);
    for (const ProcessorFeatures& features : RunnableSets())
        for (const Gamma& gamma : Tables())
            for (const Format& f : kFormats)
                for (int32_t width : Widths())
                    for (int32_t shift = 0; shift <= 3; ++shift)
                        for (int32_t pass = 0; pass < 7; ++pass) {
                            const Adam7Pass& p = kAdam7Passes[pass];
                            const int32_t passWidth =
                                width > p.StartColumn ? (width - p.StartColumn + p.ColumnIncrement - 1) / p.ColumnIncrement : 0;
                            const ConvertParams params{width >> shift, shift, static_cast<int32_t>(DescribePixelFormat(f.ColorType, f.Depth).RowBytes(passWidth)),
                                                       passWidth, gamma.Table.data()};
                            const InterlacedConverter slow = ChooseInterlacedConverter(f.ColorType, f.Depth);
                            const InterlacedConverter fast =
                                ChooseFastInterlacedConverter(f.ColorType, f.Depth, features, gamma.Identity);
                            ASSERT_NE(fast, nullptr);
                            SCOPED_TRACE(testing::Message() << "type " << int{f.ColorType} << "/" << int{f.Depth}
                                                            << ", width " << width << ", shift " << shift << ", pass "
                                                            << pass << (gamma.Identity ? ", identity" : ", mapped"));
                            ExpectSame(params, f, [&](bool useFast, const uint8_t* row, uint8_t* px, uint8_t* a) {
                                (useFast ? fast : slow)(params, pass, row, px, a);
                            }, random);
                        }
}

TEST(WideConverters, IdentityIsFoundOnlyInTheIdentity)
{
    std::array<uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<uint8_t>(i);
    EXPECT_TRUE(IsIdentityTable(table.data()));
    for (int i : {0, 1, 128, 255}) {
        std::array<uint8_t, 256> changed = table;
        changed[i] = static_cast<uint8_t>(i ^ 1);
        EXPECT_FALSE(IsIdentityTable(changed.data())) << "entry " << i;
    }
}

}  // namespace
