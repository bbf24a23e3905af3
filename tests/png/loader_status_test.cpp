// Every way a load ends: one group of cases per status code, with the
// Boolean result that goes with it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "tests/support/png_writer.h"
#include "winlayer/allocation.h"

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

// A picture of each colour type (one interlaced, one in many image data
// chunks), each with a chunk of every kind the loader keeps.
std::vector<Bytes> EveryKindOfFile()
{
    const uint8_t kinds[][3] = {{0, 1, 0}, {0, 16, 1}, {2, 8, 0}, {3, 4, 0}, {3, 8, 1}, {4, 8, 0}, {6, 16, 0}};
    std::vector<Bytes> files;
    for (const auto& kind : kinds) {
        Picture picture = NoisePicture(9, 7, kind[1], kind[0], kind[2] + 3);
        picture.Interlace = kind[2];
        PngWriter writer = Started(picture);
        writer.Chunk("gAMA", BigEndian32(45455)).Chunk("tEXt", {'k', 0, 'v', 'w'}).Chunk("abCD", {1, 2});
        if (kind[0] == 3)
            writer.Chunk("PLTE", Bytes(3 * 16, 0x55)).Chunk("tRNS", {0, 128});
        writer.ImageData(ZlibOf(picture), kind[2] ? 7 : SIZE_MAX).Chunk("tIME", Bytes(7, 1)).End();
        files.push_back(writer.Data);
    }
    return files;
}

struct Snapshot {
    bool Result = false;
    PngStatus Status = PngStatus::Ok;
    std::string Chunks;
    Bytes Pixels, Alpha;
};

Snapshot LoadArmed(const Bytes& file, uint64_t failing, uint64_t* made = nullptr)
{
    ImageRef image;
    FileStream* stream = OpenMemoryStream(file);
    allocation_test::FailNumber(failing);
    Snapshot seen;
    seen.Result = image->LoadFromStream(*stream);
    if (made)
        *made = allocation_test::Count();
    allocation_test::Disarm();
    Release(stream);
    seen.Status = image->Status;
    seen.Chunks = ChunkNames(*image);
    for (int32_t i = 0; i < image->Chunks->Count; ++i) {
        auto* chunk = static_cast<PngChunk*>(image->Chunks->Item(i));
        EXPECT_TRUE(chunk->Data != nullptr && chunk->Owner == image.Image) << "a chunk made in part";
    }
    if (image->HasHeader() && image->Header()->Pixels) {
        const PngHeaderChunk& header = *image->Header();
        const uint8_t* pixels = header.Pixels;
        seen.Pixels.assign(pixels, pixels + size_t(header.BytesPerRow) * header.Height);
        if (header.ColorType == 4 || header.ColorType == 6) {
            EXPECT_NE(header.AlphaPlane, nullptr) << "pixels without their alpha plane";
            if (header.AlphaPlane)
                seen.Alpha.assign(header.AlphaPlane, header.AlphaPlane + size_t(header.Width) * header.Height);
        }
    }
    return seen;
}

// Each allocation of a load fails in turn: the load must end, as refused
// (a status other than 0) or exactly as without the failure, and release
// everything it made; the sanitizer build finds any leak.
TEST(AllocationFailure, EveryAllocationOfALoadMayFail)
{
    uint64_t loads = 0, points = 0;
    int32_t liveBefore = Obj::LiveCount();
    for (const Bytes& file : EveryKindOfFile()) {
        uint64_t made = 0;
        Snapshot whole = LoadArmed(file, 0, &made);
        ASSERT_TRUE(whole.Result && whole.Status == PngStatus::Ok) << whole.Chunks;
        ASSERT_GT(made, 5u);
        for (uint64_t n = 1; n <= made; ++n) {
            SCOPED_TRACE(testing::Message() << "allocation " << n << " of " << made << ", " << whole.Chunks);
            Snapshot seen = LoadArmed(file, n);
            bool complete = seen.Result == whole.Result && seen.Status == whole.Status &&
                            seen.Chunks == whole.Chunks && seen.Pixels == whole.Pixels && seen.Alpha == whole.Alpha;
            EXPECT_TRUE(complete || seen.Status != PngStatus::Ok);
            EXPECT_EQ(Obj::LiveCount(), liveBefore);
        }
        ++loads;
        points += made;
    }
    std::printf("[ allocation failure ] %llu files, %llu loads each failing one allocation\n",
                static_cast<unsigned long long>(loads), static_cast<unsigned long long>(points));
}

}  // namespace
