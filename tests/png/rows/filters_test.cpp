// Restoring filtered rows (PNG standard, section 9): golden rows per filter
// type and step, the edges of a row, Paeth's tie order, unknown types, and
// the 8-byte Up form against the byte loop.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "png/cpu.h"
#include "png/rows/filters.h"
#include "png/rows/filters_choose.h"

namespace {

constexpr int32_t kSpare = 11;

// A row buffer as the decoder holds it: filter byte, the row, spare bytes.
std::vector<uint8_t> Buffer(uint8_t type, const std::vector<uint8_t>& row, uint8_t spare = 0)
{
    std::vector<uint8_t> buffer(row.size() + 1 + kSpare, spare);
    buffer[0] = type;
    std::copy(row.begin(), row.end(), buffer.begin() + 1);
    return buffer;
}

std::vector<uint8_t> Restore(const RowFilters& filters, uint8_t type, const std::vector<uint8_t>& row,
                             const std::vector<uint8_t>& previous, int32_t step)
{
    std::vector<uint8_t> current = Buffer(type, row);
    std::vector<uint8_t> before = Buffer(0, previous);
    UnfilterRow(filters, current.data(), before.data(), static_cast<int32_t>(row.size()), step);
    EXPECT_EQ(current[0], type) << "the filter byte must keep its value";
    return {current.begin() + 1, current.begin() + 1 + row.size()};
}

std::vector<uint8_t> Restore(uint8_t type, const std::vector<uint8_t>& row, const std::vector<uint8_t>& previous,
                             int32_t step)
{
    return Restore(ChooseRowFilters(false), type, row, previous, step);
}

const std::vector<uint8_t> kPrevious = {10, 200, 30, 255, 7, 128, 64, 250, 0, 99};
const std::vector<uint8_t> kFiltered = {250, 100, 3, 40, 255, 1, 90, 200, 17, 128};

struct Golden {
    int32_t Step;
    std::vector<uint8_t> Sub, Up, Average, Paeth;
};

// Worked by hand from the standard's definitions, additions modulo 256; the
// steps are those of every colour type and depth (1 to 8 bytes per pixel).
const std::vector<Golden> kGolden = {
    {1, {250, 94, 97, 137, 136, 137, 227, 171, 188, 60}, {4, 44, 33, 39, 6, 129, 154, 194, 17, 227},
     {255, 71, 53, 194, 99, 114, 179, 158, 96, 225}, {4, 44, 33, 39, 6, 129, 154, 194, 17, 227}},
    {2, {250, 100, 253, 140, 252, 141, 86, 85, 103, 213}, {4, 44, 33, 39, 6, 129, 154, 194, 17, 227},
     {255, 200, 145, 11, 75, 70, 159, 104, 96, 229}, {4, 44, 33, 84, 6, 85, 154, 194, 81, 227}},
    {3, {250, 100, 3, 34, 99, 4, 124, 43, 21, 252}, {4, 44, 33, 39, 6, 129, 154, 194, 17, 227},
     {255, 200, 18, 39, 102, 74, 141, 120, 54, 248}, {4, 44, 33, 39, 6, 129, 129, 194, 17, 1}},
    {4, {250, 100, 3, 40, 249, 101, 93, 240, 10, 229}, {4, 44, 33, 39, 6, 129, 154, 194, 17, 227},
     {255, 200, 18, 167, 130, 165, 131, 152, 82, 4}, {4, 44, 33, 39, 3, 45, 154, 239, 17, 173}},
    {6, {250, 100, 3, 40, 255, 1, 84, 44, 20, 168}, {4, 44, 33, 39, 6, 129, 154, 194, 17, 227},
     {255, 200, 18, 167, 2, 65, 249, 169, 26, 5}, {4, 44, 33, 39, 6, 129, 154, 244, 17, 167}},
    {8, {250, 100, 3, 40, 255, 1, 90, 200, 11, 228}, {4, 44, 33, 39, 6, 129, 154, 194, 17, 227},
     {255, 200, 18, 167, 2, 65, 122, 69, 144, 21}, {4, 44, 33, 39, 6, 129, 154, 194, 17, 172}},
};

TEST(Filters, GoldenRowsForEveryTypeAndStep)
{
    for (bool wide : {false, true}) {
        const RowFilters filters = ChooseRowFilters(wide);
        for (const Golden& g : kGolden) {
            SCOPED_TRACE(testing::Message() << "step " << g.Step << (wide ? ", wide" : ", bytes"));
            EXPECT_EQ(Restore(filters, 0, kFiltered, kPrevious, g.Step), kFiltered);
            EXPECT_EQ(Restore(filters, 1, kFiltered, kPrevious, g.Step), g.Sub);
            EXPECT_EQ(Restore(filters, 2, kFiltered, kPrevious, g.Step), g.Up);
            EXPECT_EQ(Restore(filters, 3, kFiltered, kPrevious, g.Step), g.Average);
            EXPECT_EQ(Restore(filters, 4, kFiltered, kPrevious, g.Step), g.Paeth);
        }
    }
}

TEST(Filters, FirstRowIsRestoredAgainstZeros)
{
    const std::vector<uint8_t> zeros(kFiltered.size(), 0);
    for (int32_t step : {1, 3, 4}) {
        const std::vector<uint8_t> sub = Restore(1, kFiltered, zeros, step);
        EXPECT_EQ(Restore(2, kFiltered, zeros, step), kFiltered) << "Up adds nothing";
        EXPECT_EQ(Restore(4, kFiltered, zeros, step), sub) << "Paeth predicts the left neighbour";
        const std::vector<uint8_t> average = Restore(3, kFiltered, zeros, step);
        for (size_t i = 0; i < kFiltered.size(); ++i) {
            const int left = i < static_cast<size_t>(step) ? 0 : average[i - step];
            EXPECT_EQ(average[i], (kFiltered[i] + left / 2) % 256) << "byte " << i;
        }
    }
}

TEST(Filters, OnePixelWideRowHasNothingLeftOfIt)
{
    // L == S: a 16-bit RGBA pixel alone in its row.
    const std::vector<uint8_t> row = {1, 2, 3, 4, 250, 251, 252, 253};
    const std::vector<uint8_t> above = {9, 8, 7, 6, 255, 128, 3, 1};
    EXPECT_EQ(Restore(1, row, above, 8), row);
    EXPECT_EQ(Restore(4, row, above, 8), Restore(2, row, above, 8));
    const std::vector<uint8_t> average = {5, 6, 6, 7, 121, 59, 253, 253};
    EXPECT_EQ(Restore(3, row, above, 8), average);
}

TEST(Filters, AverageSumsDoNotOverflowAByte)
{
    // Byte 1 sees a = 255 and b = 255: (255 + 255) / 2 = 255, where a sum
    // kept in a byte would give 127.
    EXPECT_EQ(Restore(3, {255, 0}, {0, 255}, 1), (std::vector<uint8_t>{255, 255}));
}

TEST(Filters, PaethTiesGoToLeftThenAboveThenUpperLeft)
{
    EXPECT_EQ(PaethPredictor(7, 7, 7), 7);
    // p = a + b - c = 30: pa = pb = 10 < pc = 20, so a wins over b.
    EXPECT_EQ(PaethPredictor(20, 20, 10), 20);
    // p = 8: pa = 4 > pb = pc = 2, so b wins over c.
    EXPECT_EQ(PaethPredictor(12, 6, 10), 6);
    // p = 40: pa = 60, pb = 40, pc = 20: c only when strictly nearest.
    EXPECT_EQ(PaethPredictor(100, 0, 60), 60);
    // In a row, step 1: byte 0 becomes 2 + 10 = 12, then a = 12, b = 6, c = 10
    // ties b with c and b is added.
    EXPECT_EQ(Restore(4, {2, 1}, {10, 6}, 1), (std::vector<uint8_t>{12, 7}));
}

TEST(Filters, TypesAboveFourLeaveTheRowAsRead)
{
    for (int type = 5; type <= 255; ++type) {
        const uint8_t t = static_cast<uint8_t>(type);
        EXPECT_EQ(Restore(ChooseRowFilters(false), t, kFiltered, kPrevious, 1), kFiltered) << type;
        EXPECT_EQ(Restore(ChooseRowFilters(true), t, kFiltered, kPrevious, 3), kFiltered) << type;
    }
}

// Every wide form must give the byte loop's bytes and keep the filter byte,
// and must not write past its last 8-byte group.
void ExpectWideUpMatchesBytes(FilterRoutine wide, const char* name)
{
    std::mt19937 random(7);
    for (int32_t length = 1; length <= 64; ++length) {
        std::vector<uint8_t> row(length), above(length);
        for (int32_t i = 0; i < length; ++i) {
            row[i] = static_cast<uint8_t>(random());
            above[i] = static_cast<uint8_t>(random());
        }
        std::vector<uint8_t> expected = Buffer(2, row);
        UnfilterRow(expected.data(), Buffer(0xEE, above).data(), length, 1);
        std::vector<uint8_t> actual = Buffer(2, row, 0xA5);
        const std::vector<uint8_t> previous = Buffer(0xEE, above, 0x5A);
        wide(actual.data(), previous.data(), length, 1);
        SCOPED_TRACE(testing::Message() << name << ", length " << length);
        EXPECT_EQ(actual[0], 2);
        EXPECT_TRUE(std::equal(actual.begin() + 1, actual.begin() + 1 + length, expected.begin() + 1));
        const size_t groupEnd = static_cast<size_t>((length + 8) / 8) * 8;
        for (size_t i = groupEnd; i < actual.size(); ++i)
            EXPECT_EQ(actual[i], 0xA5) << "byte " << i << " lies past the last group";
    }
}

TEST(Filters, WideUpMatchesByteLoopForEveryLength)
{
    ExpectWideUpMatchesBytes(UnfilterUpWords, "words");
#if defined(__SSE2__)
    ExpectWideUpMatchesBytes(UnfilterUpSse2, "sse2");
#endif
    ExpectWideUpMatchesBytes(ChooseRowFilters(true).Routines[2], "chosen");
}

TEST(Filters, WideUpKeepsFilterByteWhenLengthPlusOneFillsGroups)
{
    // L + 1 = 8 and 16: the groups end exactly at the row's end.
    for (int32_t length : {7, 15}) {
        std::vector<uint8_t> row(length, 1), above(length, 255);
        std::vector<uint8_t> current = Buffer(2, row);
        UnfilterUpWide(current.data(), Buffer(200, above).data(), length, 1);
        EXPECT_EQ(current[0], 2);
        for (int32_t i = 1; i <= length; ++i)
            EXPECT_EQ(current[i], 0) << "1 + 255 wraps to 0 without a carry into the next byte";
    }
}

#if defined(__SSE2__)
TEST(Filters, ProcessorWithSse2ReportsTheTopLevelAndWideArithmetic)
{
    // This test program itself uses SSE2, so the processor running it has
    // MMX, SSE and SSE2: every feature test must pass.
    EXPECT_EQ(ProcessorLevel(), 4);
    EXPECT_TRUE(WideArithmetic());
}
#endif

}  // namespace
