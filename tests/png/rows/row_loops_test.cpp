// The non-interlaced row loop: rows land bottom-up, every colour type and
// depth decodes, progress and row events fire as documented and can stop the
// decode, reduced decodes take every 2^s-th row and column, and pictures the
// buffers cannot take are not written at all.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/png_writer.h"
#include "tests/support/row_harness.h"

namespace pngtest {
namespace {

// Filter types 0 to 4 in turn, row by row.
Bytes EncodeCyclingFilters(const Picture& picture)
{
    PngWriter writer;
    Bytes rows = FilterPicture(picture, [](size_t row) { return static_cast<uint8_t>(row % 5); });
    writer.Signature().Header(picture).ImageData(Deflate(rows)).End();
    return writer.Data;
}

TEST(PlainRows, EveryFormatDecodesWithEveryFilter)
{
    for (Format f : kFormats) {
        for (uint32_t width : {1u, 5u, 13u}) {
            SCOPED_TRACE(testing::Message() << "type " << int{f.ColorType} << " depth " << int{f.BitDepth} << " width "
                                            << width);
            const Picture picture = NoisePicture(width, 7, f.BitDepth, f.ColorType, width);
            ImageRef image;
            ASSERT_TRUE(LoadBytes(*image, EncodeCyclingFilters(picture)));
            ExpectDecoded(*image, picture, 0);
        }
    }
}

TEST(PlainRows, TopRowIsTheLastPixelRowAndTheFirstAlphaRow)
{
    Picture picture{1, 2, 8, 4, 0, {{10, 20}, {30, 40}}};
    ImageRef image;
    ASSERT_TRUE(LoadBytes(*image, PngWriter::Simple(picture)));
    const PngHeaderChunk& header = *image->Header();
    ASSERT_EQ(header.BytesPerRow, 4);
    EXPECT_EQ(header.Pixels[4], 10);
    EXPECT_EQ(header.Pixels[0], 30);
    EXPECT_EQ(header.AlphaPlane[0], 20);
    EXPECT_EQ(header.AlphaPlane[1], 40);
}

std::vector<int32_t> Percents(const ProgressLog& log)
{
    std::vector<int32_t> percents;
    for (const ProgressLog::Call& call : log.Calls) {
        EXPECT_EQ(call.Pass, 0);
        EXPECT_EQ(call.LastPass, 0);
        percents.push_back(call.Percent);
    }
    return percents;
}

TEST(PlainRows, ProgressRunsFromZeroBeforeTheFirstRowToHundredBeforeTheLast)
{
    LoopRig five(NoisePicture(3, 5, 8, 2, 1));
    ProgressLog log;
    log.Attach(*five.Image);
    five.RunPlain();
    EXPECT_EQ(Percents(log), (std::vector<int32_t>{0, 25, 50, 75, 100}));

    LoopRig one(NoisePicture(3, 1, 8, 2, 1));
    ProgressLog single;
    single.Attach(*one.Image);
    one.RunPlain();
    EXPECT_EQ(Percents(single), std::vector<int32_t>{0});
}

TEST(PlainRows, ReducedProgressCountsDeliveredRowsOverTheFullHeight)
{
    // s = 1, H = 5: d rises after rows 0 and 2; the divisor stays H - 1.
    LoopRig rig(NoisePicture(4, 5, 8, 0, 1), 1);
    ProgressLog log;
    log.Attach(*rig.Image);
    rig.RunPlain();
    EXPECT_EQ(Percents(log), (std::vector<int32_t>{0, 25, 25, 50, 50}));
}

TEST(PlainRows, RefusedProgressStopsAndKeepsTheRowsBefore)
{
    const Picture picture = NoisePicture(3, 4, 8, 6, 2);
    LoopRig rig(picture);
    ProgressLog log;
    log.RefuseAt = {2};
    log.Attach(*rig.Image);
    rig.RunPlain();
    EXPECT_EQ(log.Calls.size(), 3u);
    EXPECT_EQ(rig.Reads.size(), 2u) << "the refused row is not read";
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 3; ++x) {
            const bool delivered = y < 2;
            EXPECT_EQ(DeliveredPixel(*rig.Header, x, y), delivered ? ExpectedPixel(picture, x, y) : 0u);
            EXPECT_EQ(DeliveredAlpha(*rig.Header, x, y), delivered ? ExpectedAlpha(picture, x, y) : 0);
        }
    }
}

TEST(PlainRows, ScanlineSeesEachRowBeforeAndAfterConversion)
{
    LoopRig rig(NoisePicture(6, 3, 8, 2, 3));
    ScanlineLog log;
    log.SpoilSize = true;  // the loop must not take the handler's changes
    std::vector<uint8_t> rows(3 * 20, 0);
    log.Pixels = rows.data();
    log.Stride = 20;
    log.Attach(*rig.Image);
    rig.RunPlain();
    const std::vector<ScanlineLog::Call> expected = {{0, 6, 3}, {0, -6, 3}, {1, 6, 3}, {1, -6, 3}, {2, 6, 3}, {2, -6, 3}};
    EXPECT_EQ(log.Calls, expected);
}

TEST(PlainRows, ScanlineHandlerChoosesWhereEachRowIsWritten)
{
    const Picture picture = NoisePicture(2, 3, 8, 6, 4);
    LoopRig rig(picture);
    ScanlineLog log;
    std::vector<uint8_t> pixels(3 * 8, 0), alpha(3 * 2, 0);
    log.Pixels = pixels.data();
    log.Stride = 8;
    log.Alpha = alpha.data();
    log.AlphaStride = 2;
    log.Attach(*rig.Image);
    rig.RunPlain();
    for (uint32_t y = 0; y < 3; ++y) {
        for (uint32_t x = 0; x < 2; ++x) {
            const uint8_t* p = &pixels[y * 8 + 3 * x];
            EXPECT_EQ(uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0], ExpectedPixel(picture, x, y));
            EXPECT_EQ(alpha[y * 2 + x], ExpectedAlpha(picture, x, y));
        }
        EXPECT_EQ(pixels[y * 8 + 6], 0) << "nothing past the row's pixels";
    }
}

TEST(PlainRows, ScanlineStopEndsTheDecodeBeforeOrAfterTheRow)
{
    for (int64_t stopAt : {2, 3}) {
        const Picture picture = NoisePicture(4, 3, 8, 0, 5);
        LoopRig rig(picture);
        ScanlineLog log;
        std::vector<uint8_t> rows(3 * 4, 0);
        log.Pixels = rows.data();
        log.Stride = 4;
        log.StopAt = stopAt;
        log.Attach(*rig.Image);
        rig.RunPlain();
        EXPECT_EQ(log.Calls.size(), static_cast<size_t>(stopAt + 1));
        const bool secondRowConverted = stopAt == 3;
        EXPECT_EQ(std::vector<uint8_t>(rows.begin() + 4, rows.begin() + 8),
                  secondRowConverted ? picture.Rows[1] : Bytes(4, 0));
        EXPECT_EQ(std::vector<uint8_t>(rows.begin() + 8, rows.end()), Bytes(4, 0));
    }
}

TEST(PlainRows, ScanlineHandlerThatGivesNoRowGetsNothingWritten)
{
    // The handler leaves both row pointers null: the rows are read and
    // reported, and no write goes through a null pointer.
    LoopRig rig(NoisePicture(4, 3, 8, 6, 12));
    ScanlineLog log;
    log.Attach(*rig.Image);
    rig.RunPlain();
    EXPECT_EQ(log.Calls.size(), 6u);
    EXPECT_EQ(rig.Reads.size(), 3u);
}

TEST(PlainRows, ReductionTakesEveryOtherRowAndColumn)
{
    for (Format f : {Format{2, 8}, Format{6, 16}, Format{0, 16}, Format{3, 8}, Format{4, 8}}) {
        SCOPED_TRACE(testing::Message() << "type " << int{f.ColorType} << " depth " << int{f.BitDepth});
        const Picture picture = NoisePicture(5, 5, f.BitDepth, f.ColorType, 6);
        LoopRig rig(picture, 1);
        rig.RunPlain();
        EXPECT_EQ(rig.Reads.size(), 5u) << "every row is read, rows 1 and 3 only to be unfiltered";
        ExpectDecoded(*rig.Image, picture, 1);
    }
}

TEST(PlainRows, ReducedPackedRowsSampleEveryTwoToTheShiftPixel)
{
    for (Format f : {Format{0, 1}, Format{0, 2}, Format{3, 2}, Format{3, 4}}) {
        for (uint8_t reduction : {1, 2, 3}) {
            SCOPED_TRACE(testing::Message() << "type " << int{f.ColorType} << " depth " << int{f.BitDepth} << " s "
                                            << int{reduction});
            const Picture picture = NoisePicture(37, 17, f.BitDepth, f.ColorType, reduction);
            LoopRig rig(picture, reduction);
            rig.RunPlain();
            ExpectDecoded(*rig.Image, picture, reduction);
        }
    }
}

TEST(PlainRows, ReductionAboveThreeDecodesFullSize)
{
    const Picture picture = NoisePicture(6, 4, 8, 2, 7);
    for (uint8_t reduction : {4, 200}) {
        ImageRef image;
        image->Reduction = reduction;
        ASSERT_TRUE(LoadBytes(*image, PngWriter::Simple(picture, 4)));
        EXPECT_EQ(image->ReducedWidth(), 6);
        ExpectDecoded(*image, picture, 0);
    }
}

TEST(PlainRows, ZeroDecodeWidthWritesNoPixel)
{
    // W = 1 at s = 1: W' = 0 while H' = 2; rows are still read and reported.
    const Picture picture = NoisePicture(1, 4, 8, 6, 8);
    LoopRig rig(picture, 1);
    rig.RunPlain();
    EXPECT_EQ(rig.Reads.size(), 4u);
    EXPECT_TRUE(BuffersAreZero(*rig.Header));
}

TEST(PlainRows, FormatsWithoutConverterAreNotWritten)
{
    // Grey with alpha at 4 bits and colour type 5: the header made buffers
    // (or none) but no converter exists, so nothing may be written.
    for (Format f : {Format{4, 4}, Format{5, 8}, Format{2, 4}}) {
        Picture picture = NoisePicture(9, 3, f.BitDepth, f.ColorType, 9);
        LoopRig rig(picture);
        rig.RunPlain();
        EXPECT_TRUE(BuffersAreZero(*rig.Header)) << int{f.ColorType} << "/" << int{f.BitDepth};
    }
}

TEST(PlainRows, BuffersMadeForAnotherFormatAreNotWritten)
{
    // Buffers for 8-bit grey, then the header claims truecolour: 24-bit rows
    // would run three times past each 8-bit row.
    LoopRig rig(NoisePicture(8, 4, 8, 0, 10));
    rig.Header->ColorType = 2;
    rig.Stream = FilterPicture(NoisePicture(8, 4, 8, 2, 10));
    rig.RunPlain();
    EXPECT_TRUE(BuffersAreZero(*rig.Header));
}

TEST(PlainRows, EmptyReadEndsTheLoop)
{
    const Picture picture = NoisePicture(3, 4, 8, 0, 11);
    LoopRig rig(picture);
    rig.Stream.resize(2 * 4);  // two whole rows
    rig.RunPlain();
    EXPECT_EQ(rig.Reads.size(), 3u);
    EXPECT_EQ(DeliveredPixel(*rig.Header, 2, 1), ExpectedPixel(picture, 2, 1));
    EXPECT_EQ(DeliveredPixel(*rig.Header, 0, 2), 0u);
}

}  // namespace
}  // namespace pngtest
