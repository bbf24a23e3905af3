// The reader's own Adler-32 against zlib's: every length around the vector
// form's 32-byte blocks and its reduction interval, carried across calls,
// with bytes that push the sums to their limits.
#include <gtest/gtest.h>

#include <zlib.h>

#include <random>
#include <vector>

#include "png/read/adler32.h"
#include "png/cpu.h"

namespace {

uint32_t ZlibAdler(uint32_t adler, const std::vector<uint8_t>& bytes, size_t from, size_t count)
{
    return static_cast<uint32_t>(adler32(adler, bytes.data() + from, static_cast<uInt>(count)));
}

std::vector<ProcessorFeatures> FeatureSets()
{
    std::vector<ProcessorFeatures> sets = {{}};
    if (Features().Ssse3)
        sets.push_back({true, true, false, false, false});
    if (Features().Avx2)
        sets.push_back({true, true, true, true, false});
    return sets;
}

TEST(Adler32, MatchesZlibForEveryLengthAndStart)
{
    std::mt19937 random(8);
    std::vector<uint8_t> bytes(20000);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random());
    for (const ProcessorFeatures& features : FeatureSets()) {
        for (size_t length = 0; length <= 300; ++length)
            for (uint32_t start : {1u, 0xFFF0FFF0u, 0x12345678u % 65521u})
                ASSERT_EQ(UpdateAdler(start, bytes.data() + 3, length, features), ZlibAdler(start, bytes, 3, length))
                    << "length " << length;
        for (size_t length : {5551u, 5552u, 5553u, 5568u, 11104u, 19990u})
            ASSERT_EQ(UpdateAdler(1, bytes.data(), length, features), ZlibAdler(1, bytes, 0, length)) << length;
    }
}

TEST(Adler32, AllOnesStayExactPastTheReductionInterval)
{
    // 255s make both sums grow fastest: any overflow between reductions shows.
    const std::vector<uint8_t> bytes(100000, 255);
    for (const ProcessorFeatures& features : FeatureSets()) {
        uint32_t ours = 65520u | (65520u << 16), theirs = ours;
        for (size_t at = 0; at < bytes.size(); at += 7777) {
            const size_t count = std::min<size_t>(7777, bytes.size() - at);
            ours = UpdateAdler(ours, bytes.data() + at, count, features);
            theirs = ZlibAdler(theirs, bytes, at, count);
            ASSERT_EQ(ours, theirs) << "after " << at + count << " bytes";
        }
    }
}

}  // namespace
