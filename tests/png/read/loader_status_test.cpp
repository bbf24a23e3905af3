// Every way a load ends: one group of cases per status code, with the
// Boolean result that goes with it.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/png_writer.h"

using namespace pngtest;

namespace {

Picture SmallRgb() { return NoisePicture(5, 4, 8, 2, 1); }

Bytes ZlibOf(const Picture& picture) { return Deflate(FilterPicture(picture)); }

PngWriter Started(const Picture& picture)
{
    PngWriter writer;
    writer.Signature().Header(picture);
    return writer;
}

struct Outcome {
    bool Result;
    PngStatus Status;
};

Outcome Load(const Bytes& bytes, bool strictCrc = false)
{
    ImageRef image;
    image->StrictCrc = strictCrc;
    bool result = LoadBytes(*image, bytes);
    return {result, image->Status};
}

void ExpectOutcome(const Bytes& bytes, bool result, PngStatus status, bool strictCrc = false)
{
    Outcome outcome = Load(bytes, strictCrc);
    EXPECT_EQ(outcome.Result, result);
    EXPECT_EQ(outcome.Status, status);
}

TEST(LoaderStatus, Ok_CompleteFileLoadsWithStatusZero)
{
    ExpectOutcome(PngWriter::Simple(SmallRgb()), true, PngStatus::Ok);
    ExpectOutcome(PngWriter::Simple(SmallRgb()), true, PngStatus::Ok, true);
}

TEST(LoaderStatus, Ok_StatusOfAnEarlierLoadIsReset)
{
    ImageRef image;
    EXPECT_FALSE(LoadBytes(*image, {1, 2, 3}));
    EXPECT_TRUE(LoadBytes(*image, PngWriter::Simple(SmallRgb())));
    EXPECT_EQ(image->Status, PngStatus::Ok);
}

TEST(LoaderStatus, CrcMismatch_OnlyUnderStrictCrc)
{
    Picture picture = SmallRgb();
    PngWriter lastData = Started(picture);
    lastData.ImageData(ZlibOf(picture));
    lastData.Data[lastData.Data.size() - 1] ^= 0x40;  // the CRC of the only "IDAT"
    lastData.End();
    ExpectOutcome(lastData.Data, true, PngStatus::Ok);
    ExpectOutcome(lastData.Data, true, PngStatus::CrcMismatch, true);

    PngWriter afterData = Started(picture);
    afterData.ImageData(ZlibOf(picture)).BadCrcChunk("tEXt", {'a', 0, 'b'}).End();
    ExpectOutcome(afterData.Data, true, PngStatus::Ok);
    ExpectOutcome(afterData.Data, true, PngStatus::CrcMismatch, true);
}

TEST(LoaderStatus, CrcMismatch_BeforeImageDataBecomesNoImageData)
{
    Picture picture = SmallRgb();
    PngWriter writer = Started(picture);
    writer.BadCrcChunk("tEXt", {'a', 0, 'b'}).ImageData(ZlibOf(picture)).End();
    ExpectOutcome(writer.Data, true, PngStatus::Ok);
    ExpectOutcome(writer.Data, false, PngStatus::NoImageData, true);

    PngWriter badHeader;
    badHeader.Signature().BadCrcChunk("IHDR", HeaderData(5, 4, 8, 2)).ImageData(ZlibOf(picture)).End();
    ExpectOutcome(badHeader.Data, true, PngStatus::Ok);
    ExpectOutcome(badHeader.Data, false, PngStatus::NoImageData, true);
}

// The header handler's own codes (2 to 5) are always replaced by 13: the
// header comes before any image data.
struct HeaderRefusal {
    Bytes Data;
    PngStatus HandlerStatus;
};

class LoaderHeaderStatus : public testing::TestWithParam<HeaderRefusal> {};

TEST_P(LoaderHeaderStatus, HandlerSetsItsCodeAndTheLoadEndsWithNoImageData)
{
    const HeaderRefusal& refusal = GetParam();
    PngWriter body;
    body.Chunk("IHDR", refusal.Data);
    ImageRef image;
    PngChunk* header = image->CreateChunk("IHDR");
    FileStream* stream = OpenMemoryStream(Bytes(body.Data.begin() + 8, body.Data.end()));
    EXPECT_FALSE(header->Load(*stream, static_cast<uint32_t>(refusal.Data.size())));
    Release(stream);
    EXPECT_EQ(image->Status, refusal.HandlerStatus);

    PngWriter file;
    file.Signature().Chunk("IHDR", refusal.Data).ImageData(ZlibOf(SmallRgb())).End();
    ImageRef loaded;
    EXPECT_FALSE(LoadBytes(*loaded, file.Data));
    EXPECT_EQ(loaded->Status, PngStatus::NoImageData);
    EXPECT_EQ(ChunkNames(*loaded), "IHDR");
    EXPECT_EQ(loaded->Header()->Pixels, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Codes2To5, LoaderHeaderStatus,
    testing::Values(HeaderRefusal{Bytes(12, 0), PngStatus::HeaderTooShort},
                    HeaderRefusal{HeaderData(65536, 1, 8, 2), PngStatus::SizeTooLarge},
                    HeaderRefusal{HeaderData(1, 0x80000000u, 8, 2), PngStatus::SizeTooLarge},
                    HeaderRefusal{HeaderData(1, 1, 8, 2, 0, 1), PngStatus::BadCompression},
                    HeaderRefusal{HeaderData(1, 1, 8, 2, 2), PngStatus::BadInterlace}));

TEST(LoaderStatus, BadTableLength_AfterImageDataKeepsTheResult)
{
    Picture picture = SmallRgb();
    PngWriter late = Started(picture);
    late.ImageData(ZlibOf(picture)).Chunk("PLTE", {1, 2, 3, 4}).End();
    ExpectOutcome(late.Data, true, PngStatus::BadTableLength);

    PngWriter early = Started(picture);
    early.Chunk("tRNS", Bytes(257, 0)).ImageData(ZlibOf(picture)).End();
    ExpectOutcome(early.Data, false, PngStatus::NoImageData);
}

TEST(LoaderStatus, DataNotContinued_WhenTheSequenceIsCutByAnotherChunk)
{
    Picture picture = SmallRgb();
    Bytes zlib = ZlibOf(picture);
    PngWriter writer = Started(picture);
    writer.Chunk("IDAT", Bytes(zlib.begin(), zlib.begin() + 10)).End();
    ExpectOutcome(writer.Data, true, PngStatus::DataNotContinued);
}

// The Adam7 loop reads again at each pass after a failed read: the reader
// must not take the bytes after the failure for the framing of more data.
TEST(LoaderStatus, DataNotContinued_StandsThroughTheLaterPassesOfAnInterlacedPicture)
{
    Picture picture = NoisePicture(24, 24, 8, 6, 3);
    picture.Interlace = 1;
    const Bytes zlib = ZlibOf(picture);
    const Bytes firstThird(zlib.begin(), zlib.begin() + static_cast<ptrdiff_t>(zlib.size() / 3));
    PngWriter cut = Started(picture);
    cut.Chunk("IDAT", firstThird).End();
    ExpectOutcome(cut.Data, true, PngStatus::DataNotContinued);
    ExpectOutcome(cut.Data, true, PngStatus::DataNotContinued, true);  // every CRC is right

    // A text chunk whose bytes, read as framing, would announce the rest of
    // the stream in another "IDAT" chunk: none of it is image data.
    Bytes text = {'k', 0, 'x', 'x'};
    const Bytes rest(zlib.begin() + static_cast<ptrdiff_t>(firstThird.size()), zlib.end());
    const Bytes length = BigEndian32(static_cast<uint32_t>(rest.size()));
    text.insert(text.end(), length.begin(), length.end());
    text.insert(text.end(), {'I', 'D', 'A', 'T'});
    text.insert(text.end(), rest.begin(), rest.end());
    PngWriter smuggled = Started(picture);
    smuggled.Chunk("IDAT", firstThird).Chunk("tEXt", text).End();
    ImageRef image;
    EXPECT_TRUE(LoadBytes(*image, smuggled.Data));
    EXPECT_EQ(image->Status, PngStatus::DataNotContinued);
    // Pass 6 (the odd rows, half the data) lies wholly in the rest: its
    // rows keep the zeros of the fresh alpha plane.
    const uint8_t* alpha = image->Header()->AlphaPlane;
    ASSERT_NE(alpha, nullptr);
    for (uint32_t y = 1; y < picture.Height; y += 2)
        for (uint32_t x = 0; x < picture.Width; ++x)
            ASSERT_EQ(alpha[y * picture.Width + x], 0) << x << ", " << y;
}

TEST(LoaderStatus, InflateError_ForCorruptOrDictionaryStreams)
{
    Picture picture = SmallRgb();
    PngWriter garbage = Started(picture);
    garbage.Chunk("IDAT", {0x12, 0x34, 0x56, 0x78, 0x9A}).End();
    ExpectOutcome(garbage.Data, true, PngStatus::InflateError);

    // 0x78 0x20 sets FDICT: zlib answers Z_NEED_DICT (2), which is not
    // negative but cannot be decoded either.
    PngWriter dictionary = Started(picture);
    dictionary.Chunk("IDAT", {0x78, 0x20, 0, 0, 0, 1, 0x63, 0, 0}).End();
    ExpectOutcome(dictionary.Data, true, PngStatus::InflateError);
}

TEST(LoaderStatus, BadSignature_ForShortWrongOrMissingInput)
{
    Bytes valid = PngWriter::Simple(SmallRgb());
    ExpectOutcome(Bytes(valid.begin(), valid.begin() + 7), false, PngStatus::BadSignature);
    ExpectOutcome({}, false, PngStatus::BadSignature);
    for (size_t i = 0; i < 8; ++i) {
        Bytes broken = valid;
        broken[i] ^= 0x01;
        ExpectOutcome(broken, false, PngStatus::BadSignature);
    }
    ImageRef image;
    EXPECT_FALSE(image->LoadFromFile("/nonexistent/folder/picture.png"));
    EXPECT_EQ(image->Status, PngStatus::BadSignature);
}

TEST(LoaderStatus, MissingLength_AfterSignatureOrWithoutEnd)
{
    PngWriter signatureOnly;
    signatureOnly.Signature();
    ExpectOutcome(signatureOnly.Data, false, PngStatus::MissingLength);

    Picture picture = SmallRgb();
    PngWriter noEnd = Started(picture);
    noEnd.ImageData(ZlibOf(picture));
    ExpectOutcome(noEnd.Data, true, PngStatus::MissingLength);

    PngWriter headerOnly = Started(picture);
    ExpectOutcome(headerOnly.Data, false, PngStatus::MissingLength);
}

TEST(LoaderStatus, MissingLength_ForChunksLongerThanTheStreamOrTheStandardAllows)
{
    Picture picture = SmallRgb();
    for (uint32_t length : {0x80000000u, 0xFFFFFFFFu, 1000000u}) {
        PngWriter before = Started(picture);
        Bytes frame = BigEndian32(length);
        before.Data.insert(before.Data.end(), frame.begin(), frame.end());
        before.Data.insert(before.Data.end(), {'t', 'E', 'X', 't', 'a', 0, 'b'});
        ExpectOutcome(before.Data, false, PngStatus::MissingLength);

        PngWriter after = Started(picture);
        after.ImageData(ZlibOf(picture));
        after.Data.insert(after.Data.end(), frame.begin(), frame.end());
        after.Data.insert(after.Data.end(), {'z', 'Z', 'z', 'Z', 1, 2, 3});
        ExpectOutcome(after.Data, true, PngStatus::MissingLength);
    }
}

TEST(LoaderStatus, HeaderNotFirst_EvenForASkippedChunk)
{
    PngWriter chrm;
    chrm.Signature().Chunk("cHRM", Bytes(32, 0)).Chunk("IHDR", HeaderData(1, 1, 8, 0)).End();
    ExpectOutcome(chrm.Data, false, PngStatus::HeaderNotFirst);

    PngWriter lowerCase;
    lowerCase.Signature().Chunk("ihdr", HeaderData(1, 1, 8, 0)).End();
    ExpectOutcome(lowerCase.Data, false, PngStatus::HeaderNotFirst);
}

TEST(LoaderStatus, ChunkRefused_ForASecondChunkKeptOnce)
{
    Picture picture = SmallRgb();
    for (const char* type : {"PLTE", "gAMA", "tRNS", "IHDR"}) {
        PngWriter writer = Started(picture);
        Bytes data = std::string(type) == "IHDR" ? HeaderData(5, 4, 8, 2) : Bytes{0, 0, 0};
        writer.Chunk(type, data).Chunk(type, data).ImageData(ZlibOf(picture)).End();
        SCOPED_TRACE(type);
        ExpectOutcome(writer.Data, false, PngStatus::ChunkRefused);
    }
}

TEST(LoaderStatus, NoImageData_WhenTheLoopEndsBeforeAnyImageData)
{
    PngWriter noData = Started(SmallRgb());
    noData.End();
    ExpectOutcome(noData.Data, false, PngStatus::NoImageData);

    ImageRef image;
    image->OnProgress.Code = [](void*, PngImage*, uint8_t, int32_t, int32_t) { return false; };
    EXPECT_FALSE(LoadBytes(*image, PngWriter::Simple(SmallRgb())));
    EXPECT_EQ(image->Status, PngStatus::NoImageData);
}

// Pairs without a row converter end the load before any image data.
TEST(LoaderStatus, NoImageData_ForColourTypeAndDepthPairsWithoutAConverter)
{
    const uint8_t refused[][2] = {{1, 8}, {5, 8}, {7, 8}, {9, 8}, {0, 3}, {0, 0}, {0, 32}, {2, 4},
                                  {2, 1}, {3, 32}, {4, 4}, {6, 2}, {6, 99}};
    for (const auto& pair : refused) {
        PngWriter writer;
        writer.Signature().Chunk("IHDR", HeaderData(3, 3, pair[1], pair[0])).ImageData(Deflate(Bytes(64, 0))).End();
        SCOPED_TRACE(testing::Message() << "colour type " << int(pair[0]) << " depth " << int(pair[1]));
        ImageRef image;
        EXPECT_FALSE(LoadBytes(*image, writer.Data));
        EXPECT_EQ(image->Status, PngStatus::NoImageData);
        EXPECT_EQ(image->Header()->Pixels, nullptr);
        EXPECT_EQ(image->FindChunk("IDAT"), nullptr);
    }
}

// The chunk loop reports where each chunk starts, through the read-ahead as
// straight from the stream; chunks beyond the limit of 1000 repeatable ones
// are stepped over and still reported, and the list keeps 1000 of them.
TEST(LoaderProgress, EachChunkReportsItsStartAsAPercentOfTheFile)
{
    Picture picture = SmallRgb();
    PngWriter writer = Started(picture);
    for (int i = 0; i < 1005; ++i)
        writer.Chunk("abCD", Bytes(static_cast<size_t>(i % 7), 1));
    writer.ImageData(ZlibOf(picture), 9).End();
    // The image data handler reads the whole sequence: only its first chunk is reported.
    std::vector<int32_t> expected;
    bool inImageData = false;
    for (size_t at = 8; at < writer.Data.size(); at += 12 + (size_t{writer.Data[at + 2]} << 8 | writer.Data[at + 3])) {
        bool imageData = std::memcmp(&writer.Data[at + 4], "IDAT", 4) == 0;
        if (!(imageData && inImageData))
            expected.push_back(static_cast<int32_t>(at * 100 / writer.Data.size()));
        inImageData = imageData;
    }
    ImageRef image;
    std::vector<int32_t> seen;
    image->OnProgress = {[](void* log, PngImage*, uint8_t, int32_t, int32_t percent) {
                             static_cast<std::vector<int32_t>*>(log)->push_back(percent);
                             return true;
                         },
                         &seen};
    EXPECT_TRUE(LoadBytes(*image, writer.Data));
    // The row loops report their own progress between the image data and the end chunk.
    ASSERT_GE(seen.size(), expected.size());
    EXPECT_EQ(std::vector<int32_t>(seen.begin(), seen.begin() + 1007),
              std::vector<int32_t>(expected.begin(), expected.begin() + 1007));
    EXPECT_EQ(seen.back(), expected.back());
    EXPECT_EQ(expected.size(), 1008u);
    EXPECT_EQ(ChunkNames(*image).size(), 5 * (3 + 1000) - 1);
}

}  // namespace
