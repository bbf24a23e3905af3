// The image data reader: one zlib stream across any cut into "IDAT" chunks,
// CRCs at every chunk boundary, and the ways the data can end early.
#include <gtest/gtest.h>

#include <zlib.h>

#include <string>

#include "tests/support/png_writer.h"

using namespace pngtest;

namespace {

// How many top rows of an 8-bit RGB or grey picture arrived intact. A row
// cut short is converted with what arrived, so the first row that is not
// intact may hold anything; every row below it must still be the zeros the
// buffer was made with, and so must every row's padding.
int32_t RowsDecoded(const PngImage& image, const Picture& picture)
{
    const PngHeaderChunk* header = image.Header();
    const uint32_t channels = Channels(picture.ColorType);
    int32_t intactRows = -1;
    for (uint32_t y = 0; y < picture.Height; ++y) {
        const uint8_t* row = header->Pixels + header->BytesPerRow * (picture.Height - 1 - y);
        for (int32_t x = static_cast<int32_t>(picture.Width * channels); x < header->BytesPerRow; ++x)
            EXPECT_EQ(row[x], 0) << "padding of row " << y;
        bool intact = true;
        bool zero = true;
        for (uint32_t x = 0; x < picture.Width * channels; x += channels) {
            const uint8_t* sample = &picture.Rows[y][x];
            for (uint32_t c = 0; c < channels; ++c) {
                intact = intact && row[x + c] == sample[channels - 1 - c];  // RGB is stored as BGR
                zero = zero && row[x + c] == 0;
            }
        }
        if (intactRows < 0 && !intact) {
            intactRows = static_cast<int32_t>(y);
        } else if (intactRows >= 0) {
            EXPECT_TRUE(zero) << "row " << y << " written past the data";
        }
    }
    return intactRows < 0 ? static_cast<int32_t>(picture.Height) : intactRows;
}

struct Loaded {
    bool Result;
    PngStatus Status;
    int32_t Rows;
    std::string Chunks;
};

Loaded LoadRgb(const Bytes& bytes, const Picture& picture, bool strictCrc = false, uint8_t reduction = 0)
{
    ImageRef image;
    image->StrictCrc = strictCrc;
    image->Reduction = reduction;
    bool result = LoadBytes(*image, bytes);
    int32_t rows = image->Header() && image->Header()->Pixels && reduction == 0 ? RowsDecoded(*image, picture) : -1;
    return {result, image->Status, rows, ChunkNames(*image)};
}

PngWriter Started(const Picture& picture)
{
    PngWriter writer;
    writer.Signature().Header(picture);
    return writer;
}

// Noise does not compress: the zlib stream is about as long as the rows.
Picture Noise(uint32_t width, uint32_t height) { return NoisePicture(width, height, 8, 2, width * 31 + height); }

TEST(ImageData, ManySmallChunksDecodeLikeOne)
{
    Picture picture = Noise(13, 11);
    Bytes zlib = Deflate(FilterPicture(picture, [](size_t row) { return static_cast<uint8_t>(row % 5); }));
    for (size_t piece : {size_t{1}, size_t{2}, size_t{7}, size_t{100}, zlib.size()}) {
        PngWriter writer = Started(picture);
        writer.ImageData(zlib, piece).End();
        for (bool strict : {false, true}) {
            Loaded loaded = LoadRgb(writer.Data, picture, strict);
            EXPECT_TRUE(loaded.Result);
            EXPECT_EQ(loaded.Status, PngStatus::Ok) << "piece " << piece;
            EXPECT_EQ(loaded.Rows, 11) << "piece " << piece;
            EXPECT_EQ(loaded.Chunks, "IHDR IDAT IEND");
        }
    }
}

TEST(ImageData, RunsOfPaethAndAverageRowsDecodeExactly)
{
    // Runs of Paeth and Average rows the window holds are restored four (grey:
    // sixteen or four; or, Paeth, two; in Adam7 passes four) at a time, in the
    // window or beside it; runs broken by other filters, rows of every length
    // against the window's size, and pictures ending inside a run take every
    // way between them.
    const std::pair<const char*, FilterChoice> patterns[] = {
        {"all Paeth", [](size_t) { return uint8_t{4}; }},
        {"Sub every third row", [](size_t row) { return static_cast<uint8_t>(row % 3 == 2 ? 1 : 4); }},
        {"Up every fifth row", [](size_t row) { return static_cast<uint8_t>(row % 5 == 0 ? 2 : 4); }},
        {"Average and Paeth, None every seventh row",
         [](size_t row) { return static_cast<uint8_t>(row % 7 == 6 ? 0 : 3 + row % 2); }},
    };
    for (const auto& [name, choose] : patterns)
        for (uint32_t width : {1u, 2u, 5u, 40u, 683u, 700u, 3000u})
            for (uint32_t height : {1u, 3u, 4u, 5u, 9u, 30u})
                for (uint8_t form : {0, 1, 2}) {  // RGB, grey, RGB interlaced
                    Picture picture = NoisePicture(width, height, 8, form == 1 ? 0 : 2, width * 31 + height);
                    picture.Interlace = form == 2 ? 1 : 0;
                    PngWriter writer = Started(picture);
                    writer.ImageData(Deflate(FilterPicture(picture, choose))).End();
                    Loaded loaded = LoadRgb(writer.Data, picture);
                    const std::string where = std::string(name) + ", " + std::to_string(width) + " x " +
                                              std::to_string(height) + ", form " + std::to_string(form);
                    EXPECT_EQ(loaded.Rows, static_cast<int32_t>(height)) << where;
                    EXPECT_EQ(loaded.Status, PngStatus::Ok) << where;
                }
}

TEST(ImageData, OneChunkLongerThanTheInputBufferIsReadInPieces)
{
    Picture picture = Noise(300, 200);
    Bytes zlib = Deflate(FilterPicture(picture), 1);
    ASSERT_GT(zlib.size(), 2u * 65535);
    PngWriter writer = Started(picture);
    writer.ImageData(zlib).Chunk("tEXt", {'a', 0, 'b'}).End();
    Loaded loaded = LoadRgb(writer.Data, picture, true);
    EXPECT_TRUE(loaded.Result);
    EXPECT_EQ(loaded.Status, PngStatus::Ok);
    EXPECT_EQ(loaded.Rows, 200);
    EXPECT_EQ(loaded.Chunks, "IHDR IDAT tEXt IEND");
}

// A zlib stream of one stored block, sized so that its first 65535 bytes
// hold every row and the last input piece only the 4-byte check value.
Bytes StoredZlib(const Bytes& raw)
{
    uint16_t length = static_cast<uint16_t>(raw.size());
    Bytes zlib;
    zlib.reserve(raw.size() + 11);
    for (uint8_t byte : {0x78, 0x01, 0x01})  // header, then a final stored block
        zlib.push_back(byte);
    for (uint16_t field : {length, static_cast<uint16_t>(~length)}) {
        zlib.push_back(static_cast<uint8_t>(field));
        zlib.push_back(static_cast<uint8_t>(field >> 8));
    }
    for (uint8_t byte : raw)
        zlib.push_back(byte);
    for (uint8_t byte : BigEndian32(static_cast<uint32_t>(adler32(1, raw.data(), static_cast<uInt>(raw.size())))))
        zlib.push_back(byte);
    return zlib;
}

TEST(ImageData, RowsCompleteBeforeTheLastPieceOfAChunkStillFindItsCrc)
{
    Picture picture = NoisePicture(2730, 8, 8, 2, 5);  // 8 rows of 8191 bytes: 65528
    Bytes raw = FilterPicture(picture);
    ASSERT_EQ(raw.size(), 65528u);
    Bytes zlib = StoredZlib(raw);
    ASSERT_EQ(zlib.size(), 65535u + 4);
    PngWriter writer = Started(picture);
    writer.ImageData(zlib).Chunk("tEXt", {'a', 0, 'b'}).End();
    Loaded loaded = LoadRgb(writer.Data, picture, true);
    EXPECT_TRUE(loaded.Result);
    EXPECT_EQ(loaded.Status, PngStatus::Ok);
    EXPECT_EQ(loaded.Rows, 8);
    EXPECT_EQ(loaded.Chunks, "IHDR IDAT tEXt IEND");
}

TEST(ImageData, BytesAfterTheZlibStreamInTheSameChunkAreSkipped)
{
    Picture picture = Noise(9, 9);
    Bytes data = Deflate(FilterPicture(picture));
    data.insert(data.end(), 70000, 0xAB);
    PngWriter writer = Started(picture);
    writer.ImageData(data).End();
    Loaded loaded = LoadRgb(writer.Data, picture, true);
    EXPECT_EQ(loaded.Status, PngStatus::Ok);
    EXPECT_EQ(loaded.Rows, 9);
    EXPECT_EQ(loaded.Chunks, "IHDR IDAT IEND");
}

TEST(ImageData, EmptyChunksInTheSequenceAreSteppedOver)
{
    Picture picture = Noise(10, 10);
    Bytes zlib = Deflate(FilterPicture(picture));
    Bytes first(zlib.begin(), zlib.begin() + 50);
    Bytes rest(zlib.begin() + 50, zlib.end());
    PngWriter writer = Started(picture);
    writer.Chunk("IDAT", {}).Chunk("IDAT", first).Chunk("IDAT", {}).Chunk("IDAT", {}).Chunk("IDAT", rest).End();
    Loaded loaded = LoadRgb(writer.Data, picture, true);
    EXPECT_TRUE(loaded.Result);
    EXPECT_EQ(loaded.Status, PngStatus::Ok);
    EXPECT_EQ(loaded.Rows, 10);
}

TEST(ImageData, ATrailingChunkWithOnlyTheCheckValueIsSkippedUnread)
{
    Picture picture = Noise(6, 6);
    Bytes zlib = Deflate(FilterPicture(picture));
    Bytes body(zlib.begin(), zlib.end() - 4);
    Bytes check(zlib.end() - 4, zlib.end());
    PngWriter badTrailer = Started(picture);
    badTrailer.Chunk("IDAT", body).BadCrcChunk("IDAT", check).End();
    Loaded skipped = LoadRgb(badTrailer.Data, picture, true);
    EXPECT_EQ(skipped.Status, PngStatus::Ok);
    EXPECT_EQ(skipped.Rows, 6);
    EXPECT_EQ(skipped.Chunks, "IHDR IDAT IEND");

    PngWriter badBody = Started(picture);
    badBody.BadCrcChunk("IDAT", body).Chunk("IDAT", check).End();
    Loaded checked = LoadRgb(badBody.Data, picture, true);
    EXPECT_TRUE(checked.Result);
    EXPECT_EQ(checked.Status, PngStatus::CrcMismatch);
    EXPECT_EQ(checked.Rows, 6);
}

TEST(ImageData, CrcsBetweenChunksCountOnlyWhenStrict)
{
    Picture picture = Noise(12, 12);
    Bytes zlib = Deflate(FilterPicture(picture));
    size_t half = zlib.size() / 2;
    PngWriter writer = Started(picture);
    writer.BadCrcChunk("IDAT", Bytes(zlib.begin(), zlib.begin() + half)).Chunk("IDAT", Bytes(zlib.begin() + half, zlib.end()));
    writer.End();
    Loaded lenient = LoadRgb(writer.Data, picture);
    EXPECT_EQ(lenient.Status, PngStatus::Ok);
    EXPECT_EQ(lenient.Rows, 12);
    Loaded strict = LoadRgb(writer.Data, picture, true);
    EXPECT_TRUE(strict.Result);
    EXPECT_EQ(strict.Status, PngStatus::CrcMismatch);
    EXPECT_LT(strict.Rows, 12);
}

TEST(ImageData, DataGoingOnInAnotherChunkKeepsTheRowsDecodedSoFar)
{
    Picture picture = Noise(40, 40);
    Bytes zlib = Deflate(FilterPicture(picture));
    PngWriter writer = Started(picture);
    writer.Chunk("IDAT", Bytes(zlib.begin(), zlib.begin() + static_cast<ptrdiff_t>(zlib.size() / 2))).End();
    Loaded loaded = LoadRgb(writer.Data, picture);
    EXPECT_TRUE(loaded.Result);
    EXPECT_EQ(loaded.Status, PngStatus::DataNotContinued);
    EXPECT_GT(loaded.Rows, 10);
    EXPECT_LT(loaded.Rows, 30);
}

TEST(ImageData, AStreamEndingInsideTheDataKeepsTheRowsDecodedSoFar)
{
    Picture picture = Noise(40, 40);
    Bytes zlib = Deflate(FilterPicture(picture));
    PngWriter writer = Started(picture);
    writer.ImageData(zlib, zlib.size() / 2);
    // Cut inside the second chunk's data, then right after the first chunk's
    // data: no further chunk exists, so the data ran out rather than went on.
    size_t firstEnd = 8 + 25 + 8 + zlib.size() / 2;
    for (size_t cut : {writer.Data.size() - 200, firstEnd, firstEnd + 6}) {
        Loaded loaded = LoadRgb(Bytes(writer.Data.begin(), writer.Data.begin() + static_cast<ptrdiff_t>(cut)), picture);
        EXPECT_TRUE(loaded.Result);
        EXPECT_EQ(loaded.Status, PngStatus::MissingLength) << cut;
        EXPECT_GT(loaded.Rows, 10) << cut;
        EXPECT_LT(loaded.Rows, 40) << cut;
    }
}

TEST(ImageData, AZlibStreamOfTooFewRowsLeavesTheRestZero)
{
    Picture picture = Noise(9, 8);  // rows of 27 bytes and one of padding
    Picture shorter = picture;
    shorter.Rows.resize(5);
    shorter.Rows.back().resize(10);  // ends inside row 4
    PngWriter writer = Started(picture);
    writer.ImageData(Deflate(FilterPicture(shorter)), 9).Chunk("tEXt", {'a', 0, 'b'}).End();
    Loaded loaded = LoadRgb(writer.Data, picture, true);
    EXPECT_TRUE(loaded.Result);
    EXPECT_EQ(loaded.Status, PngStatus::Ok);
    EXPECT_EQ(loaded.Rows, 4);
    EXPECT_EQ(loaded.Chunks, "IHDR IDAT tEXt IEND");
}

TEST(ImageData, AContinuationLongerThanTheFileDoesNotHang)
{
    Picture picture = Noise(20, 20);
    Bytes zlib = Deflate(FilterPicture(picture));
    PngWriter writer = Started(picture);
    writer.Chunk("IDAT", Bytes(zlib.begin(), zlib.begin() + 100));
    Bytes frame = BigEndian32(0xFFFFFFF0u);
    writer.Data.insert(writer.Data.end(), frame.begin(), frame.end());
    writer.Data.insert(writer.Data.end(), {'I', 'D', 'A', 'T'});
    writer.Data.insert(writer.Data.end(), zlib.begin() + 100, zlib.end());
    Loaded loaded = LoadRgb(writer.Data, picture);
    EXPECT_TRUE(loaded.Result);
    EXPECT_EQ(loaded.Status, PngStatus::MissingLength);
    EXPECT_EQ(loaded.Rows, 20);
}

TEST(ImageData, AReducedDecodeEndsTheLoadAfterTheImageData)
{
    Picture picture = Noise(16, 16);
    PngWriter writer = Started(picture);
    writer.ImageData(Deflate(FilterPicture(picture))).Chunk("PLTE", {1}).End();
    Loaded reduced = LoadRgb(writer.Data, picture, false, 1);
    EXPECT_TRUE(reduced.Result);
    EXPECT_EQ(reduced.Status, PngStatus::Ok);
    EXPECT_EQ(reduced.Chunks, "IHDR IDAT");
    Loaded full = LoadRgb(writer.Data, picture, false, 0);
    EXPECT_EQ(full.Status, PngStatus::BadTableLength);
    EXPECT_EQ(full.Chunks, "IHDR PLTE IDAT");
}

TEST(ImageData, RowInfoFollowsColourTypeAndDepth)
{
    const struct {
        uint8_t Type, Depth;
        int32_t RowLength, FilterStep;
    } cases[] = {{0, 1, 2, 1}, {0, 16, 18, 2}, {2, 8, 27, 3}, {2, 16, 54, 6}, {3, 4, 5, 1},
                 {4, 8, 18, 2}, {4, 16, 36, 4}, {6, 8, 36, 4}, {6, 16, 72, 8}};
    for (const auto& c : cases) {
        ImageRef image;
        auto* header = static_cast<PngHeaderChunk*>(image->CreateChunk("IHDR"));
        header->Width = 9;
        header->BitDepth = c.Depth;
        header->ColorType = c.Type;
        RowInfo info = image->GetRowInfo();
        EXPECT_EQ(info.RowLength, c.RowLength) << int(c.Type) << "/" << int(c.Depth);
        EXPECT_EQ(info.FilterStep, c.FilterStep) << int(c.Type) << "/" << int(c.Depth);
    }
    ImageRef none;
    EXPECT_EQ(none->GetRowInfo().RowLength, 0);
}

}  // namespace
