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

// A picture and its file, one way the image data can go on or end.
struct Ending {
    const char* Name;
    Picture Source;
    Bytes (*File)(const Picture& picture);
    bool StrictCrc;
    PngStatus Status;  // the result is always true: image data was met
    int32_t LeastRows, MostRows;
    const char* Chunks;  // none: not checked
};

Bytes Halves(const Picture& p, bool badFirstCrc)
{
    const Bytes zlib = Deflate(FilterPicture(p));
    const size_t half = zlib.size() / 2;
    PngWriter w = Started(p);
    if (badFirstCrc)
        w.BadCrcChunk("IDAT", Bytes(zlib.begin(), zlib.begin() + long(half)));
    else
        w.Chunk("IDAT", Bytes(zlib.begin(), zlib.begin() + long(half)));
    return w.Chunk("IDAT", Bytes(zlib.begin() + long(half), zlib.end())).End().Data;
}

// The check value alone in the last chunk, the CRC wrong on the body or on
// that trailer.
Bytes CheckValueApart(const Picture& p, bool badBody)
{
    const Bytes zlib = Deflate(FilterPicture(p));
    const Bytes body(zlib.begin(), zlib.end() - 4), check(zlib.end() - 4, zlib.end());
    PngWriter w = Started(p);
    if (badBody)
        w.BadCrcChunk("IDAT", body).Chunk("IDAT", check);
    else
        w.Chunk("IDAT", body).BadCrcChunk("IDAT", check);
    return w.End().Data;
}

// The data in halves, the file cut at 200 bytes before its end, right after
// the first chunk's data, or 6 bytes into the second chunk's framing: no
// further chunk exists, so the data ran out rather than went on.
Bytes CutAt(const Picture& p, int where)
{
    const Bytes zlib = Deflate(FilterPicture(p));
    Bytes data = Started(p).ImageData(zlib, zlib.size() / 2).Data;
    const size_t firstEnd = 8 + 25 + 8 + zlib.size() / 2;
    const size_t cut = where == 0 ? data.size() - 200 : firstEnd + (where == 2 ? 6 : 0);
    return Bytes(data.begin(), data.begin() + long(cut));
}

const Ending kEndings[] = {
    {"rows complete before the last piece of a chunk", NoisePicture(2730, 8, 8, 2, 5),  // 8 rows of 8191 bytes
     [](const Picture& p) {
         const Bytes zlib = StoredZlib(FilterPicture(p));  // 65535 + 4 bytes
         return Started(p).ImageData(zlib).Chunk("tEXt", {'a', 0, 'b'}).End().Data;
     },
     true, PngStatus::Ok, 8, 8, "IHDR IDAT tEXt IEND"},
    {"bytes after the zlib stream in its chunk", Noise(9, 9),
     [](const Picture& p) {
         Bytes data = Deflate(FilterPicture(p));
         data.insert(data.end(), 70000, 0xAB);
         return Started(p).ImageData(data).End().Data;
     },
     true, PngStatus::Ok, 9, 9, "IHDR IDAT IEND"},
    {"empty chunks in the sequence", Noise(10, 10),
     [](const Picture& p) {
         const Bytes zlib = Deflate(FilterPicture(p));
         const Bytes first(zlib.begin(), zlib.begin() + 50), rest(zlib.begin() + 50, zlib.end());
         PngWriter w = Started(p);
         return w.Chunk("IDAT", {}).Chunk("IDAT", first).Chunk("IDAT", {}).Chunk("IDAT", {}).Chunk("IDAT", rest).End().Data;
     },
     true, PngStatus::Ok, 10, 10, nullptr},
    {"a trailing chunk of the check value alone, its CRC wrong: skipped unread", Noise(6, 6),
     [](const Picture& p) { return CheckValueApart(p, false); }, true, PngStatus::Ok, 6, 6, "IHDR IDAT IEND"},
    {"the body's CRC wrong before that trailer", Noise(6, 6), [](const Picture& p) { return CheckValueApart(p, true); },
     true, PngStatus::CrcMismatch, 6, 6, nullptr},
    {"a wrong CRC between chunks, lenient", Noise(12, 12), [](const Picture& p) { return Halves(p, true); }, false,
     PngStatus::Ok, 12, 12, nullptr},
    {"a wrong CRC between chunks, strict", Noise(12, 12), [](const Picture& p) { return Halves(p, true); }, true,
     PngStatus::CrcMismatch, 0, 11, nullptr},
    {"data going on in another chunk", Noise(40, 40),
     [](const Picture& p) {
         const Bytes zlib = Deflate(FilterPicture(p));
         return Started(p).Chunk("IDAT", Bytes(zlib.begin(), zlib.begin() + long(zlib.size() / 2))).End().Data;
     },
     false, PngStatus::DataNotContinued, 11, 29, nullptr},
    {"the file cut inside the second chunk's data", Noise(40, 40), [](const Picture& p) { return CutAt(p, 0); }, false,
     PngStatus::MissingLength, 11, 39, nullptr},
    {"the file cut after the first chunk's data", Noise(40, 40), [](const Picture& p) { return CutAt(p, 1); }, false,
     PngStatus::MissingLength, 11, 39, nullptr},
    {"the file cut in the second chunk's framing", Noise(40, 40), [](const Picture& p) { return CutAt(p, 2); }, false,
     PngStatus::MissingLength, 11, 39, nullptr},
    {"a zlib stream of too few rows (ends inside row 4): the rest zero", Noise(9, 8),
     [](const Picture& p) {
         Picture shorter = p;
         shorter.Rows.resize(5);
         shorter.Rows.back().resize(10);
         return Started(p).ImageData(Deflate(FilterPicture(shorter)), 9).Chunk("tEXt", {'a', 0, 'b'}).End().Data;
     },
     true, PngStatus::Ok, 4, 4, "IHDR IDAT tEXt IEND"},
    {"a continuation longer than the file: no hang", Noise(20, 20),
     [](const Picture& p) {
         const Bytes zlib = Deflate(FilterPicture(p));
         PngWriter w = Started(p);
         w.Chunk("IDAT", Bytes(zlib.begin(), zlib.begin() + 100));
         const Bytes frame = BigEndian32(0xFFFFFFF0u);
         w.Data.insert(w.Data.end(), frame.begin(), frame.end());
         w.Data.insert(w.Data.end(), {'I', 'D', 'A', 'T'});
         w.Data.insert(w.Data.end(), zlib.begin() + 100, zlib.end());
         return w.Data;
     },
     false, PngStatus::MissingLength, 20, 20, nullptr},
};

TEST(ImageData, EachEndingOfTheDataKeepsWhatItShould)
{
    for (const Ending& e : kEndings) {
        SCOPED_TRACE(e.Name);
        const Loaded loaded = LoadRgb(e.File(e.Source), e.Source, e.StrictCrc);
        EXPECT_TRUE(loaded.Result);
        EXPECT_EQ(loaded.Status, e.Status);
        EXPECT_GE(loaded.Rows, e.LeastRows);
        EXPECT_LE(loaded.Rows, e.MostRows);
        if (e.Chunks) {
            EXPECT_EQ(loaded.Chunks, e.Chunks);
        }
    }
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
