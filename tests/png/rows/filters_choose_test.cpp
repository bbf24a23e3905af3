// Every faster filter form against the byte loops: each filter type at every
// step from 1 to 8, every row length from 1 to 64 and some long ones, random
// rows, for each set of processor features this machine has. The forms must
// leave the filter byte and the previous row alone, and the bytes after the
// row as the 8-byte Up leaves them (Up) or untouched (all others).
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "png/cpu.h"
#include "png/rows/filters.h"
#include "png/rows/filters_choose.h"

namespace {

constexpr size_t kGuard = 11;
constexpr uint8_t kGuardByte = 0xA5;

struct FeatureSet {
    const char* Name;
    ProcessorFeatures Features;
    bool Wide;
};

// The feature sets this processor can run, from none up to all it has.
std::vector<FeatureSet> RunnableSets()
{
    const ProcessorFeatures& host = Features();
    std::vector<FeatureSet> sets = {{"portable", {}, false}};
    if (host.Sse2)
        sets.push_back({"sse2", {true, false, false, false, false}, true});
    if (host.Sse41)
        sets.push_back({"sse4.1", {true, true, true, false, false}, true});
    if (host.Avx2)
        sets.push_back({"avx2", {true, true, true, true, false}, true});
    return sets;
}

std::vector<uint8_t> Random(size_t count, std::mt19937& random)
{
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random());
    return bytes;
}

// The Up filter of a wide set must leave the spare bytes as the 8-byte form
// does (they show in a row cut short in a longer Adam7 pass); everything
// else as the byte loops, the spare bytes untouched.
bool UpInGroups(bool wide, uint8_t type) { return wide && type == static_cast<uint8_t>(FilterType::Up); }

// Filter byte, row, then guard bytes; previous row alike.
void ExpectSameAsBytes(const RowFilters& filters, bool wide, uint8_t type, int32_t length, int32_t step,
                       std::mt19937& random)
{
    std::vector<uint8_t> row = Random(1 + length + kGuard, random), previous = Random(1 + length + kGuard, random);
    row[0] = type;
    std::fill(row.end() - kGuard, row.end(), kGuardByte);
    std::vector<uint8_t> expected = row;
    const std::vector<uint8_t> previousBefore = previous;
    if (UpInGroups(wide, type))
        UnfilterUpWide(expected.data(), previous.data(), length, step);
    else
        UnfilterRow(expected.data(), previous.data(), length, step);
    UnfilterRow(filters, row.data(), previous.data(), length, step);
    ASSERT_EQ(row, expected) << "type " << int{type} << ", step " << step << ", length " << length;
    ASSERT_EQ(previous, previousBefore) << "the previous row was written";
}

// Buffers of exactly the row's size: under the address sanitizer any read or
// write past byte length fails here.
void ExpectExactBuffersSuffice(const RowFilters& filters, uint8_t type, int32_t length, int32_t step,
                               std::mt19937& random)
{
    std::vector<uint8_t> row = Random(1 + length, random), previous = Random(1 + length, random);
    row[0] = type;
    std::vector<uint8_t> expected = row;
    UnfilterRow(expected.data(), previous.data(), length, step);
    UnfilterRow(filters, row.data(), previous.data(), length, step);
    ASSERT_EQ(row, expected) << "type " << int{type} << ", step " << step << ", length " << length;
}

TEST(WideFilters, EveryFormMatchesTheByteLoopsAtEveryStepAndLength)
{
    std::mt19937 random(2024);
    const std::vector<int32_t> longLengths = {255, 256, 1000, 4097, 8193};
    for (const FeatureSet& set : RunnableSets()) {
        SCOPED_TRACE(set.Name);
        for (int32_t step = 1; step <= 8; ++step) {
            const RowFilters filters = ChooseWideRowFilters(set.Features, set.Wide, step);
            for (uint8_t type = 0; type <= 4; ++type) {
                std::vector<int32_t> lengths = longLengths;
                for (int32_t length = 1; length <= 64; ++length)
                    lengths.push_back(length);
                for (int32_t length : lengths) {
                    ExpectSameAsBytes(filters, set.Wide, type, length, step, random);
                    if (!UpInGroups(set.Wide, type))
                        ExpectExactBuffersSuffice(filters, type, length, step, random);
                }
            }
        }
    }
}

TEST(WideFilters, ExtremeBytesAtEveryStep)
{
    // All-255 rows over all-255 rows: every Average sum is 510 and every
    // Paeth distance ties; all-0 and alternating rows for the other extremes.
    for (const FeatureSet& set : RunnableSets()) {
        for (int32_t step = 1; step <= 8; ++step) {
            const RowFilters filters = ChooseWideRowFilters(set.Features, set.Wide, step);
            for (uint8_t fill : {0x00, 0xFF, 0x80, 0x7F}) {
                for (uint8_t type = 1; type <= 4; ++type) {
                    const int32_t length = 67;
                    std::vector<uint8_t> row(1 + length + kGuard, fill), previous(1 + length + kGuard, 0xFF);
                    for (size_t i = 0; i < previous.size(); i += 3)
                        previous[i] = static_cast<uint8_t>(~fill);
                    row[0] = type;
                    std::vector<uint8_t> expected = row;
                    if (UpInGroups(set.Wide, type))
                        UnfilterUpWide(expected.data(), previous.data(), length, step);
                    else
                        UnfilterRow(expected.data(), previous.data(), length, step);
                    UnfilterRow(filters, row.data(), previous.data(), length, step);
                    ASSERT_EQ(row, expected) << set.Name << ", fill " << int{fill} << ", type " << int{type}
                                             << ", step " << step;
                }
            }
        }
    }
}

// Two Paeth rows restored by the pair form against two calls of the byte
// loop, in buffers of exactly the rows' size (the sanitizer build catches
// any access past byte length).
template <typename Pick>
void ExpectPairSameAsBytes(const RowFilters& filters, int32_t length, int32_t step, Pick&& pick)
{
    const uint8_t paeth = static_cast<uint8_t>(FilterType::Paeth);
    std::vector<uint8_t> row(1 + length), next(1 + length), previous(1 + length);
    for (size_t i = 0; i < row.size(); ++i) {
        row[i] = pick();
        next[i] = pick();
        previous[i] = pick();
    }
    row[0] = next[0] = paeth;
    std::vector<uint8_t> expectedRow = row, expectedNext = next;
    UnfilterRow(expectedRow.data(), previous.data(), length, step);
    UnfilterRow(expectedNext.data(), expectedRow.data(), length, step);
    filters.PaethPair(row.data(), next.data(), previous.data(), length);
    ASSERT_EQ(row, expectedRow) << "first row, step " << step << ", length " << length;
    ASSERT_EQ(next, expectedNext) << "second row, step " << step << ", length " << length;
}

// Rows restored together in place (the four-row form, or ManyRows), one
// after another in one buffer, against a call of the byte loop for each;
// the buffer ends with the last row (the sanitizer build catches any access
// past its byte length). Types holds the rows' filter types, 0 to 5 (5
// leaves a row as it is).
template <typename Pick>
void ExpectRowsSameAsBytes(FourRowsRoutine restore, int32_t length, int32_t step, const std::vector<uint8_t>& types,
                           Pick&& pick)
{
    const int32_t stride = 1 + length, count = static_cast<int32_t>(types.size());
    std::vector<uint8_t> rows(static_cast<size_t>(count) * stride), previous(static_cast<size_t>(stride));
    for (uint8_t& byte : rows)
        byte = pick();
    for (uint8_t& byte : previous)
        byte = pick();
    for (int32_t k = 0; k < count; ++k)
        rows[k * stride] = types[k];
    std::vector<uint8_t> expected = rows;
    for (int32_t k = 0; k < count; ++k)
        UnfilterRow(&expected[k * stride], k == 0 ? previous.data() : &expected[(k - 1) * stride], length, step);
    restore(rows.data(), stride, previous.data(), length);
    std::string typeList;
    for (uint8_t type : types)
        typeList += static_cast<char>('0' + type);
    ASSERT_EQ(rows, expected) << count << " rows of types " << typeList << ", step " << step << ", length " << length;
}

TEST(WideFilters, PaethTiesAndWrapsFromAFewByteValues)
{
    // Bytes from a handful of values near 0, 128 and 255: the distances tie
    // in every way (pa = pb, pa = pc, pb = pc, all three), b = c occurs
    // often, and the restored bytes wrap.
    const uint8_t values[] = {0, 1, 2, 127, 128, 129, 253, 254, 255};
    std::mt19937 random(7);
    const auto pick = [&] { return values[random() % std::size(values)]; };
    const uint8_t paeth = static_cast<uint8_t>(FilterType::Paeth);
    for (const FeatureSet& set : RunnableSets()) {
        for (int32_t step = 1; step <= 8; ++step) {
            const RowFilters filters = ChooseWideRowFilters(set.Features, set.Wide, step);
            for (int trial = 0; trial < 400; ++trial) {
                const int32_t length = 1 + static_cast<int32_t>(random() % 96);
                std::vector<uint8_t> row(1 + length + kGuard, kGuardByte), previous(row.size());
                for (int32_t i = 1; i <= length; ++i)
                    row[i] = pick();
                for (uint8_t& byte : previous)
                    byte = pick();
                row[0] = paeth;
                std::vector<uint8_t> expected = row;
                UnfilterRow(expected.data(), previous.data(), length, step);
                UnfilterRow(filters, row.data(), previous.data(), length, step);
                ASSERT_EQ(row, expected) << set.Name << ", step " << step << ", length " << length;
                // The pair and four-row forms, where the step has them, on
                // the same kind of bytes and on any bytes.
                if (filters.PaethPair) {
                    ExpectPairSameAsBytes(filters, length, step, pick);
                    ExpectPairSameAsBytes(filters, length, step, [&] { return static_cast<uint8_t>(random()); });
                }
                const std::pair<FourRowsRoutine, int32_t> together[] = {{filters.FourRows, 4},
                                                                          {filters.ManyRows, filters.ManyRowsCount}};
                for (const auto& [restore, count] : together) {
                    if (!restore)
                        continue;
                    std::vector<uint8_t> paeth(static_cast<size_t>(count), 4), mixed(paeth.size());
                    for (uint8_t& type : mixed)
                        type = static_cast<uint8_t>(random() % 6);
                    ExpectRowsSameAsBytes(restore, length, step, paeth, pick);
                    ExpectRowsSameAsBytes(restore, length, step, mixed, pick);
                    ExpectRowsSameAsBytes(restore, length, step, mixed, [&] { return static_cast<uint8_t>(random()); });
                }
            }
        }
    }
}

TEST(WideFilters, StepZeroIsRestoredAsStepOne)
{
    // Colour types without a converter have step 0; UnfilterRow runs them as 1.
    std::mt19937 random(3);
    for (const FeatureSet& set : RunnableSets())
        for (uint8_t type = 1; type <= 4; ++type)
            ExpectSameAsBytes(ChooseWideRowFilters(set.Features, set.Wide, 0), set.Wide, type, 40, 0, random);
}

}  // namespace
