// The image's chunk list: which chunks are kept, where each kind is placed,
// which are refused or skipped, and the queries on the list.
#include <gtest/gtest.h>

#include "tests/support/png_writer.h"

using namespace pngtest;

namespace {

Bytes ZlibOf(const Picture& picture) { return Deflate(FilterPicture(picture)); }

TEST(ChunkList, UnknownTextAndTimeChunksAreAllKeptInFileOrderBeforeTheEnd)
{
    Picture picture = NoisePicture(3, 3, 8, 2, 7);
    PngWriter writer;
    writer.Signature().Header(picture).Chunk("zzZz", {1}).Chunk("tEXt", {'k', 0, 'v'}).ImageData(ZlibOf(picture));
    writer.Chunk("tIME", {7, 0xE0, 1, 2, 3, 4, 5}).Chunk("abCd", {}).Chunk("tEXt", {'a', 0, 'b'}).End();
    ImageRef image;
    ASSERT_TRUE(LoadBytes(*image, writer.Data));
    EXPECT_EQ(ChunkNames(*image), "IHDR IDAT zzZz tEXt tIME abCd tEXt IEND");
    auto* unknown = static_cast<PngChunk*>(image->Chunks->Item(2));
    ASSERT_EQ(unknown->DataSize, 1);
    EXPECT_EQ(unknown->Data[0], 1);
}

TEST(ChunkList, KindsKeptOnceFollowTheStandardOrderWhateverTheCreationOrder)
{
    ImageRef image;
    for (const char* type : {"IHDR", "IDAT", "tRNS", "gAMA", "PLTE", "IEND", "tEXt", "zzzz", "tIME"})
        ASSERT_NE(image->CreateChunk(ChunkName::FromBytes(type)), nullptr) << type;
    EXPECT_EQ(ChunkNames(*image), "IHDR PLTE IDAT gAMA tRNS tEXt zzzz tIME IEND");
    for (int32_t i = 0; i < image->Chunks->Count; ++i)
        EXPECT_EQ(static_cast<PngChunk*>(image->Chunks->Item(i))->Index(), i);
}

TEST(ChunkList, WithoutHeaderTheTablesGoToTheFront)
{
    ImageRef image;
    image->CreateChunk("tEXt");
    image->CreateChunk("PLTE");
    image->CreateChunk("gAMA");
    image->CreateChunk("tRNS");
    EXPECT_EQ(ChunkNames(*image), "PLTE gAMA tRNS tEXt");
    EXPECT_FALSE(image->HasHeader());
    EXPECT_EQ(image->Width(), 0);
    image->CreateChunk("IHDR");
    EXPECT_EQ(ChunkNames(*image), "IHDR PLTE gAMA tRNS tEXt");
    EXPECT_TRUE(image->HasHeader());
}

TEST(ChunkList, PaletteAfterTheImageDataIsPlacedBeforeIt)
{
    Picture picture = NoisePicture(4, 2, 1, 3, 3);
    PngWriter writer;
    writer.Signature().Header(picture).ImageData(ZlibOf(picture)).Chunk("PLTE", {1, 2, 3, 4, 5, 6}).End();
    ImageRef image;
    ASSERT_TRUE(LoadBytes(*image, writer.Data));
    EXPECT_EQ(image->Status, PngStatus::Ok);
    EXPECT_EQ(ChunkNames(*image), "IHDR PLTE IDAT IEND");
}

TEST(ChunkList, OnlyTheLastEndAndOneOfEachKeptKindAreAccepted)
{
    ImageRef image;
    for (const char* type : {"IHDR", "IDAT", "PLTE", "gAMA", "tRNS", "IEND"}) {
        ASSERT_NE(image->CreateChunk(ChunkName::FromBytes(type)), nullptr);
        EXPECT_EQ(image->CreateChunk(ChunkName::FromBytes(type)), nullptr) << type;
    }
    image->CreateChunk("tEXt");  // goes before "IEND", which stays last
    EXPECT_EQ(image->CreateChunk("IEND"), nullptr);
    EXPECT_NE(image->CreateChunk("tEXt"), nullptr);
    EXPECT_NE(image->CreateChunk("tIME"), nullptr);
    EXPECT_NE(image->CreateChunk("tIME"), nullptr);
}

TEST(ChunkList, NamesAreComparedExactly)
{
    EXPECT_EQ(KindOf("IDAT"), ChunkKind::ImageData);
    EXPECT_EQ(KindOf("Idat"), ChunkKind::Other);
    EXPECT_EQ(KindOf("trns"), ChunkKind::Other);
    EXPECT_EQ(KindOf("tRNS"), ChunkKind::Transparency);
    ImageRef image;
    image->CreateChunk("IHDR");
    image->CreateChunk("Idat");
    EXPECT_EQ(image->FindChunk("IDAT"), nullptr);
    EXPECT_NE(image->FindChunk("Idat"), nullptr);
    EXPECT_NE(image->CreateChunk("IDAT"), nullptr);
}

TEST(ChunkList, SkippedChunksLeaveNoObject)
{
    Picture picture = NoisePicture(3, 3, 8, 2, 9);
    PngWriter writer;
    writer.Signature().Header(picture).Chunk("cHRM", Bytes(32, 1)).ImageData(ZlibOf(picture));
    // A second image data sequence, not even valid zlib, is never decoded.
    writer.Chunk("tEXt", {'a', 0, 'b'}).Chunk("IDAT", {1, 2, 3, 4}).End();
    ImageRef image;
    ASSERT_TRUE(LoadBytes(*image, writer.Data));
    EXPECT_EQ(image->Status, PngStatus::Ok);
    EXPECT_EQ(ChunkNames(*image), "IHDR IDAT tEXt IEND");
}

TEST(ChunkList, NothingAfterTheEndIsRead)
{
    Bytes bytes = PngWriter::Simple(NoisePicture(2, 2, 8, 0, 1));
    PngWriter tail;
    tail.Chunk("PLTE", {1, 2});  // would fail with status 6 if it were read
    bytes.insert(bytes.end(), tail.Data.begin(), tail.Data.end());
    bytes.insert(bytes.end(), {0xFF, 0xFF, 0xFF});
    ImageRef image;
    EXPECT_TRUE(LoadBytes(*image, bytes));
    EXPECT_EQ(image->Status, PngStatus::Ok);
    EXPECT_EQ(ChunkNames(*image), "IHDR IDAT IEND");
}

TEST(ChunkList, EveryLoadStartsFromAnEmptyList)
{
    ImageRef image;
    ASSERT_TRUE(LoadBytes(*image, PngWriter::Simple(NoisePicture(2, 2, 8, 2, 1))));
    ASSERT_FALSE(LoadBytes(*image, {0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(image->Chunks->Count, 0);
}

TEST(ChunkList, ChunksAndBuffersEndWithTheImage)
{
    int32_t before = Obj::LiveCount();
    {
        ImageRef image;
        PngWriter writer;
        Picture picture = NoisePicture(3, 3, 8, 6, 2);
        writer.Signature().Header(picture).Chunk("tEXt", {'a', 0, 'b'}).ImageData(ZlibOf(picture), 7).End();
        ASSERT_TRUE(LoadBytes(*image, writer.Data));
        EXPECT_GT(Obj::LiveCount(), before);
    }
    EXPECT_EQ(Obj::LiveCount(), before);
}

TEST(ChunkList, ReducedSizesDivideAndTruncate)
{
    ImageRef image;
    EXPECT_EQ(image->ReducedWidth(), 0);
    auto* header = static_cast<PngHeaderChunk*>(image->CreateChunk("IHDR"));
    header->Width = 7;
    header->Height = 17;
    const int32_t expected[][2] = {{7, 17}, {3, 8}, {1, 4}, {0, 2}, {7, 17}, {7, 17}};
    for (uint8_t reduction = 0; reduction < 6; ++reduction) {
        image->Reduction = reduction == 5 ? 255 : reduction;
        EXPECT_EQ(image->ReducedWidth(), expected[reduction][0]) << int(reduction);
        EXPECT_EQ(image->ReducedHeight(), expected[reduction][1]) << int(reduction);
    }
    EXPECT_EQ(image->Width(), 7);
    EXPECT_EQ(image->Height(), 17);
}

TEST(ChunkList, GammaTableIsZeroAtCreationAndTheIdentityAfterClear)
{
    ImageRef image;
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(image->GammaTable[i], 0);
    image->Status = PngStatus::InflateError;
    image->Clear();
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(image->GammaTable[i], i);
    EXPECT_EQ(image->Status, PngStatus::InflateError);
}

}  // namespace
