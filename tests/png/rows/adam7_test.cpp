// The Adam7 row loop: every format through all seven passes, passes without
// pixels skipped without a read, each pass restored against a zero row,
// reduced decodes that stop reading after their last pass, progress with its
// rounding, and row events that report source rows and can stop the decode.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/png_writer.h"
#include "tests/support/row_harness.h"

namespace pngtest {
namespace {

Picture Interlaced(uint32_t width, uint32_t height, uint8_t depth, uint8_t colorType, uint32_t seed)
{
    Picture picture = NoisePicture(width, height, depth, colorType, seed);
    picture.Interlace = 1;
    return picture;
}

TEST(Adam7Rows, EveryFormatDecodesThroughAllPasses)
{
    for (Format f : kFormats) {
        for (uint32_t size : {1u, 3u, 5u, 9u, 14u}) {
            SCOPED_TRACE(testing::Message() << "type " << int{f.ColorType} << " depth " << int{f.BitDepth} << " size "
                                            << size);
            const Picture picture = Interlaced(size, size + 1, f.BitDepth, f.ColorType, size);
            ImageRef image;
            ASSERT_TRUE(LoadBytes(*image, PngWriter::Simple(picture, static_cast<uint8_t>(size % 5))));
            ExpectDecoded(*image, picture, 0);
        }
    }
}

TEST(Adam7Rows, FirstRowOfEveryPassIsRestoredAgainstZeros)
{
    // Each pass's first row follows a longer row of the pass before; Up,
    // Average and Paeth must not look at it.
    for (uint8_t filter : {2, 3, 4}) {
        const Picture picture = Interlaced(13, 9, 16, 2, filter);
        ImageRef image;
        ASSERT_TRUE(LoadBytes(*image, PngWriter::Simple(picture, filter)));
        ExpectDecoded(*image, picture, 0);
    }
}

TEST(Adam7Rows, OneByOnePictureReadsPassZeroAlone)
{
    const Picture picture = Interlaced(1, 1, 8, 2, 1);
    LoopRig rig(picture);
    rig.RunAdam7();
    EXPECT_EQ(rig.Reads, std::vector<int32_t>{4});
    EXPECT_EQ(DeliveredPixel(*rig.Header, 0, 0), ExpectedPixel(picture, 0, 0));
}

TEST(Adam7Rows, PassesWithoutPixelsAreSkippedWithoutReading)
{
    // One row, 8-bit grey. Four wide: passes 0, 3, 5 (pass 1 starts at
    // column 4 and has no pixel). Five wide: pass 1 has column 4.
    LoopRig four(Interlaced(4, 1, 8, 0, 2));
    four.RunAdam7();
    EXPECT_EQ(four.Reads, (std::vector<int32_t>{2, 2, 3}));
    const Picture five = Interlaced(5, 1, 8, 0, 3);
    LoopRig rig(five);
    rig.RunAdam7();
    EXPECT_EQ(rig.Reads, (std::vector<int32_t>{2, 2, 2, 3}));
    for (uint32_t x = 0; x < 5; ++x)
        EXPECT_EQ(DeliveredPixel(*rig.Header, x, 0), ExpectedPixel(five, x, 0)) << x;
}

TEST(Adam7Rows, OneBitThreeWideSetsTheFirstByteFromThreePasses)
{
    Picture picture{3, 1, 1, 0, 1, {{0xE0}}};
    ImageRef image;
    ASSERT_TRUE(LoadBytes(*image, PngWriter::Simple(picture)));
    EXPECT_EQ(image->Header()->Pixels[0], 0xE0);
}

// Bytes of pixel x's row in a 24-bit buffer that lie past W' pixels.
void ExpectRowPaddingUntouched(const PngHeaderChunk& header, int32_t decodeWidth)
{
    for (int32_t y = 0; y < header.Info.Header.Height; ++y)
        for (int32_t i = 3 * decodeWidth; i < header.BytesPerRow; ++i)
            EXPECT_EQ(header.Pixels[y * header.BytesPerRow + i], 0) << "row " << y << " byte " << i;
}

TEST(Adam7Rows, HalfSizeSevenBySevenNeverReadsPassesFiveAndSix)
{
    // Rows of passes 0 to 4 at 4 bytes a pixel: widths 1, 1, 2, 2, 4 with
    // 1, 1, 1, 2, 2 rows. The stream holds nothing more.
    const Picture picture = Interlaced(7, 7, 8, 6, 4);
    LoopRig rig(picture, 1);
    rig.Stream.resize(5 + 5 + 9 + 2 * 9 + 2 * 17);
    rig.RunAdam7();
    EXPECT_EQ(rig.Reads, (std::vector<int32_t>{5, 5, 9, 9, 9, 17, 17}));
    EXPECT_EQ(rig.Position, rig.Stream.size());
    ExpectDecoded(*rig.Image, picture, 1);
    ExpectRowPaddingUntouched(*rig.Header, 3);
}

TEST(Adam7Rows, HalfSizeFiveWideWritesNothingOfPassOne)
{
    // W' = 2: pass 1's column 4 would be reduced column 2.
    const Picture picture = Interlaced(5, 8, 8, 2, 5);
    LoopRig rig(picture, 1);
    rig.RunAdam7();
    ExpectDecoded(*rig.Image, picture, 1);
    ExpectRowPaddingUntouched(*rig.Header, 2);
}

TEST(Adam7Rows, EveryReductionMatchesTheFullPictureSampled)
{
    for (uint8_t reduction : {1, 2, 3}) {
        for (Format f : kFormats) {
            SCOPED_TRACE(testing::Message() << "s " << int{reduction} << " type " << int{f.ColorType} << " depth "
                                            << int{f.BitDepth});
            const Picture picture = Interlaced(29, 19, f.BitDepth, f.ColorType, reduction);
            ImageRef image;
            image->Reduction = reduction;
            ASSERT_TRUE(LoadBytes(*image, PngWriter::Simple(picture, 4)));
            ExpectDecoded(*image, picture, reduction);
        }
    }
}

TEST(Adam7Rows, ProgressSharesTheRangeBetweenPassesRoundingHalvesToEven)
{
    LoopRig rig(Interlaced(8, 8, 8, 0, 6));
    ProgressLog log;
    log.Attach(*rig.Image);
    rig.RunAdam7();
    // Opening calls take p * 100 div 7; row calls round p * 100 / 7 +
    // (y * 100 / 8) / 7, and pass 6 row 1 gives 87.5, which rounds to 88.
    const std::vector<ProgressLog::Call> expected = {
        {0, 6, 0},  {0, 6, 0},  {1, 6, 14}, {1, 6, 14}, {2, 6, 28}, {2, 6, 36}, {3, 6, 42}, {3, 6, 43},
        {3, 6, 50}, {4, 6, 57}, {4, 6, 61}, {4, 6, 68}, {5, 6, 71}, {5, 6, 71}, {5, 6, 75}, {5, 6, 79},
        {5, 6, 82}, {6, 6, 85}, {6, 6, 88}, {6, 6, 91}, {6, 6, 95}, {6, 6, 98}};
    EXPECT_EQ(log.Calls, expected);
}

TEST(Adam7Rows, ProgressTiesRoundToEvenInBothDirections)
{
    // s = 1, H' = 80: pass 4's rows 2, 6, 10 are at 80.5, 81.5 and 82.5.
    LoopRig rig(Interlaced(2, 160, 8, 0, 7), 1);
    ProgressLog log;
    log.Attach(*rig.Image);
    rig.RunAdam7();
    std::vector<int32_t> pass4;
    for (const ProgressLog::Call& call : log.Calls)
        if (call.Pass == 4)
            pass4.push_back(call.Percent);
    ASSERT_GE(pass4.size(), 4u);
    EXPECT_EQ(pass4[0], 80) << "the pass's opening call";
    EXPECT_EQ((std::vector<int32_t>(pass4.begin() + 1, pass4.begin() + 4)), (std::vector<int32_t>{80, 82, 82}));
}

TEST(Adam7Rows, EighthSizeProgressCountsSourceRowsAndCanPassHundred)
{
    // s = 3: pass 0 alone, Percent = y * 100 div (H' - 1) with y the full-size row.
    LoopRig rig(Interlaced(8, 16, 8, 0, 8), 3);
    ProgressLog log;
    log.Attach(*rig.Image);
    rig.RunAdam7();
    const std::vector<ProgressLog::Call> expected = {{0, 0, 0}, {0, 0, 0}, {0, 0, 800}};
    EXPECT_EQ(log.Calls, expected);
}

TEST(Adam7Rows, RefusalAtAPassStartStopsTheDecode)
{
    LoopRig rig(Interlaced(8, 8, 8, 0, 9));
    ProgressLog log;
    log.RefuseAt = {2};  // pass 1's opening call
    log.Attach(*rig.Image);
    rig.RunAdam7();
    EXPECT_EQ(log.Calls.size(), 3u);
    EXPECT_EQ(rig.Reads.size(), 1u);
}

TEST(Adam7Rows, RefusalBeforeARowMovesOnToTheNextPass)
{
    LoopRig rig(Interlaced(8, 8, 8, 0, 10));
    ProgressLog log;
    log.RefuseAt = {7};  // before pass 3's first row
    log.Attach(*rig.Image);
    rig.RunAdam7();
    ASSERT_GT(log.Calls.size(), 8u);
    EXPECT_EQ(log.Calls[8], (ProgressLog::Call{4, 6, 57})) << "pass 4 opens next";
    EXPECT_EQ(rig.Reads.size(), 13u) << "the 15 rows of the picture but pass 3's two";
}

TEST(Adam7Rows, ScanlineReportsFullSizeSourceRowsOfDeliveredRows)
{
    // 7 x 7 at s = 1 (H' = 3): pass 4's row 6 would be reduced row 3 and is
    // read but not delivered.
    LoopRig rig(Interlaced(7, 7, 8, 2, 11), 1);
    ScanlineLog log;
    std::vector<uint8_t> rows(7 * 12, 0);
    log.Pixels = rows.data();
    log.Stride = 12;
    log.Attach(*rig.Image);
    rig.RunAdam7();
    std::vector<ScanlineLog::Call> expected;
    for (int32_t row : {0, 0, 4, 0, 4, 2}) {
        expected.push_back({row, 7, 7});
        expected.push_back({row, -7, 7});
    }
    EXPECT_EQ(log.Calls, expected);
}

TEST(Adam7Rows, ScanlineStopEndsEveryPass)
{
    LoopRig rig(Interlaced(8, 8, 8, 0, 12));
    ScanlineLog log;
    std::vector<uint8_t> rows(8 * 8, 0);
    log.Pixels = rows.data();
    log.Stride = 8;
    log.StopAt = 1;  // after pass 0's only row
    log.Attach(*rig.Image);
    rig.RunAdam7();
    EXPECT_EQ(rig.Reads.size(), 1u);
    EXPECT_EQ(log.Calls.size(), 2u);
}

TEST(Adam7Rows, ZeroDecodeWidthWritesNoPixel)
{
    // W = 1 at s = 1: W' = 0, H' = 4.
    LoopRig rig(Interlaced(1, 8, 16, 6, 13), 1);
    rig.RunAdam7();
    EXPECT_FALSE(rig.Reads.empty());
    EXPECT_TRUE(BuffersAreZero(*rig.Header));
}

TEST(Adam7Rows, FormatsWithoutConverterAreNotWritten)
{
    for (Format f : {Format{4, 2}, Format{1, 8}, Format{6, 4}}) {
        LoopRig rig(Interlaced(9, 9, f.BitDepth, f.ColorType, 14));
        rig.RunAdam7();
        EXPECT_TRUE(BuffersAreZero(*rig.Header)) << int{f.ColorType} << "/" << int{f.BitDepth};
    }
}

}  // namespace
}  // namespace pngtest
