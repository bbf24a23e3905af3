// The handlers of the header, palette, transparency, gamma, text and time
// chunks, and the image buffers the header creates.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <array>
#include <cmath>
#include <map>
#include <thread>

#include "tests/support/png_writer.h"

using namespace pngtest;

namespace {

// Creates the chunk and runs its handler over data followed by a right CRC.
template <typename T>
T* LoadChunk(PngImage& image, const char* type, const Bytes& data, bool* result = nullptr)
{
    PngWriter framed;
    framed.Chunk(type, data);
    auto* chunk = static_cast<T*>(image.CreateChunk(ChunkName::FromBytes(type)));
    FileStream* stream = OpenMemoryStream(Bytes(framed.Data.begin() + 8, framed.Data.end()));
    bool loaded = chunk->Load(*stream, static_cast<uint32_t>(data.size()));
    EXPECT_EQ(stream->Position(), data.size() + 4) << "stream not left after the CRC";
    Release(stream);
    if (result)
        *result = loaded;
    return chunk;
}

PngHeaderChunk* LoadHeader(PngImage& image, uint32_t w, uint32_t h, uint8_t depth, uint8_t type)
{
    bool result = false;
    auto* header = LoadChunk<PngHeaderChunk>(image, "IHDR", HeaderData(w, h, depth, type), &result);
    EXPECT_TRUE(result);
    return header;
}

TEST(HeaderChunk, FieldsAreReadBigEndianAndTheInterlaceMethodIsCopied)
{
    ImageRef image;
    auto* header = LoadChunk<PngHeaderChunk>(*image, "IHDR", HeaderData(0x1234, 0x0102, 16, 6, 1, 0, 7));
    EXPECT_EQ(header->Width, 0x1234);
    EXPECT_EQ(header->Height, 0x0102);
    EXPECT_EQ(header->BitDepth, 16);
    EXPECT_EQ(header->ColorType, 6);
    EXPECT_EQ(header->FilterMethod, 7);
    EXPECT_EQ(image->InterlaceMethod, 1);
    EXPECT_EQ(image->Status, PngStatus::Ok);
}

TEST(HeaderChunk, BitCountAndRowSizeFollowColourTypeAndDepth)
{
    struct Case {
        uint8_t Type, Depth;
        uint16_t BitCount;
        bool Paletted;
        int32_t BytesPerRow;  // for width 9
    };
    const Case cases[] = {{0, 1, 1, true, 4},  {0, 2, 4, true, 8},    {0, 4, 4, true, 8},  {0, 8, 8, true, 12},
                          {0, 16, 8, true, 12}, {3, 2, 4, true, 8},   {3, 16, 8, true, 12}, {4, 8, 8, true, 12},
                          {2, 8, 24, false, 28}, {6, 16, 24, false, 28}};
    for (const Case& c : cases) {
        ImageRef image;
        PngHeaderChunk* header = LoadHeader(*image, 9, 3, c.Depth, c.Type);
        SCOPED_TRACE(testing::Message() << "type " << int(c.Type) << " depth " << int(c.Depth));
        EXPECT_EQ(header->BitCount(), c.BitCount);
        EXPECT_EQ(header->Paletted, c.Paletted);
        EXPECT_EQ(header->BytesPerRow, c.BytesPerRow);
        EXPECT_EQ(header->Info.Header.Size, 40u);
        EXPECT_EQ(header->Info.Header.Width, 9);
        EXPECT_EQ(header->Info.Header.Height, 3);
        EXPECT_EQ(header->Info.Header.Planes, 1);
        ASSERT_NE(header->Pixels, nullptr);
        EXPECT_EQ(header->AlphaPlane != nullptr, c.Type == 4 || c.Type == 6);
        // A plain picture's buffers are left for the row loop; the load's end
        // zeroes whatever it did not write.
        EXPECT_TRUE(header->Unfilled);
        header->ZeroUnwritten();
        EXPECT_FALSE(header->Unfilled);
        for (int32_t i = 0; i < c.BytesPerRow * 3; ++i)
            ASSERT_EQ(header->Pixels[i], 0);
    }
}

// A few bytes may declare a picture of hundreds of megabytes and end after
// a row: what the rows did not reach must read as zero without the load
// touching every page of it (a fuzzer's 135-byte file took 2 GB before).
TEST(HeaderChunk, AHugePictureCutShortTouchesFewOfItsPages)
{
    PngWriter png;
    png.Signature().Chunk("IHDR", HeaderData(8192, 8192, 8, 6));
    png.ImageData(Deflate(Bytes(8192 * 4 + 1, 0))).End();
    const auto peakKb = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    };
    const long before = peakKb();
    ImageRef image;
    LoadBytes(*image, png.Data);
    PngHeaderChunk* header = image->Header();
    ASSERT_NE(header, nullptr);
    ASSERT_NE(header->Pixels, nullptr);
    ASSERT_NE(header->AlphaPlane, nullptr);
    EXPECT_LT(peakKb() - before, 64 * 1024) << "KB more at the peak for 256 MB of buffers";
    for (uint64_t at : {uint64_t{0}, uint64_t{100} << 20, uint64_t{8192} * 24576 - 1})
        ASSERT_EQ(header->Pixels[at], 0) << at;
    EXPECT_EQ(header->AlphaPlane[uint64_t{8192} * 8192 - 1], 0);
}

TEST(HeaderChunk, OneRgbaPixelHasAFourByteRowAndAOneByteAlphaPlane)
{
    ImageRef image;
    PngHeaderChunk* header = LoadHeader(*image, 1, 1, 8, 6);
    EXPECT_EQ(header->BytesPerRow, 4);
    ASSERT_NE(header->AlphaPlane, nullptr);
    header->ZeroUnwritten(0, 0, 0);
    EXPECT_EQ(header->AlphaPlane[0], 0);
}

TEST(HeaderChunk, BuffersFollowTheReducedSize)
{
    ImageRef image;
    image->Reduction = 2;
    PngHeaderChunk* header = LoadHeader(*image, 33, 9, 8, 4);
    EXPECT_EQ(header->Info.Header.Width, 8);
    EXPECT_EQ(header->Info.Header.Height, 2);
    EXPECT_EQ(header->BytesPerRow, 8);
}

TEST(HeaderChunk, NoBuffersWhenRowsGoToTheScanlineEvent)
{
    ImageRef image;
    image->OnScanline.Code = [](void*, PngImage*, int32_t, int32_t&, int32_t&, uint8_t*&, uint8_t*&, bool&) {};
    PngHeaderChunk* header = LoadHeader(*image, 4, 4, 8, 6);
    EXPECT_EQ(header->Pixels, nullptr);
    EXPECT_EQ(header->AlphaPlane, nullptr);
    EXPECT_EQ(header->BytesPerRow, 12);
}

// 65535 x 65535 RGB would take about 12.9 GB: refused before anything is
// allocated or written, and the load ends without image data.
TEST(HeaderChunk, BuffersBeyondWhatCanBeAddressedAreRefused)
{
    for (uint8_t type : {2, 0, 6}) {
        PngWriter writer;
        writer.Signature().Chunk("IHDR", HeaderData(65535, 65535, 8, type)).ImageData(Deflate(Bytes(10, 0))).End();
        ImageRef image;
        EXPECT_FALSE(LoadBytes(*image, writer.Data));
        EXPECT_EQ(image->Status, PngStatus::NoImageData);
        PngHeaderChunk* header = image->Header();
        EXPECT_EQ(header->Pixels, nullptr);
        EXPECT_EQ(header->AlphaPlane, nullptr);
        EXPECT_EQ(header->BitmapSection, nullptr);
    }
}

TEST(PaletteChunk, EntriesGoToTheColourTableThroughTheGammaInForce)
{
    ImageRef image;
    image->Clear();
    LoadHeader(*image, 2, 2, 2, 3);
    image->GammaTable[10] = 100;
    auto* palette = LoadChunk<PngPaletteChunk>(*image, "PLTE", {10, 20, 30, 40, 50, 60});
    EXPECT_EQ(palette->EntryCount, 2);
    auto& colors = image->Header()->Info.Colors;
    EXPECT_EQ(colors[0], (std::array<uint8_t, 4>{30, 20, 100, 0}));
    EXPECT_EQ(colors[1], (std::array<uint8_t, 4>{60, 50, 40, 0}));
    EXPECT_EQ(colors[2], (std::array<uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(palette->GetPaletteColor(1), 0x0028323Cu);
    EXPECT_EQ(palette->GetPaletteColor(2), 0u);
}

TEST(PaletteChunk, LengthsMustBeWholeEntriesAndAtMost256)
{
    for (size_t length : {768u, 771u, 4u, 0u}) {
        ImageRef image;
        LoadHeader(*image, 1, 1, 8, 3);
        bool result = false;
        LoadChunk<PngPaletteChunk>(*image, "PLTE", Bytes(length, 1), &result);
        bool valid = length % 3 == 0 && length <= 768;
        EXPECT_EQ(result, valid) << length;
        EXPECT_EQ(image->Status, valid ? PngStatus::Ok : PngStatus::BadTableLength) << length;
    }
}

TEST(TransparencyChunk, PaletteAlphasDecideBetweenKeyColourAndBlend)
{
    struct Case {
        Bytes Alphas;
        bool SingleColor;
    };
    const Case cases[] = {{{0, 255, 255}, true}, {{0, 128}, false}, {{255, 255}, false}, {{255, 7}, true}};
    for (const Case& c : cases) {
        ImageRef image;
        LoadHeader(*image, 1, 1, 8, 3);
        auto* chunk = LoadChunk<PngTransparencyChunk>(*image, "tRNS", c.Alphas);
        EXPECT_EQ(chunk->SingleColor, c.SingleColor);
        EXPECT_EQ(image->GetTransparencyMode(),
                  c.SingleColor ? TransparencyMode::colourKey : TransparencyMode::alpha);
        for (size_t i = 0; i < 256; ++i)
            ASSERT_EQ(chunk->Alpha[i], i < c.Alphas.size() ? c.Alphas[i] : 255);
    }
}

TEST(TransparencyChunk, ModeFollowsTheColourType)
{
    const struct {
        uint8_t Type;
        TransparencyMode Without, With;
    } cases[] = {{0, TransparencyMode::none, TransparencyMode::colourKey},
                 {2, TransparencyMode::none, TransparencyMode::colourKey},
                 {4, TransparencyMode::alpha, TransparencyMode::alpha},
                 {6, TransparencyMode::alpha, TransparencyMode::alpha}};
    for (const auto& c : cases) {
        ImageRef image;
        LoadHeader(*image, 1, 1, 8, c.Type);
        EXPECT_EQ(image->GetTransparencyMode(), c.Without);
        auto* chunk = LoadChunk<PngTransparencyChunk>(*image, "tRNS", {0, 1, 0, 2, 0, 3});
        EXPECT_EQ(chunk->SingleColor, c.Type == 0 || c.Type == 2);
        EXPECT_EQ(image->GetTransparencyMode(), c.With);
    }
    ImageRef empty;
    EXPECT_EQ(empty->GetTransparencyMode(), TransparencyMode::none);
}

TEST(TransparencyChunk, MoreThan256BytesAreRefused)
{
    ImageRef image;
    LoadHeader(*image, 1, 1, 8, 3);
    bool result = true;
    LoadChunk<PngTransparencyChunk>(*image, "tRNS", Bytes(257, 0), &result);
    EXPECT_FALSE(result);
    EXPECT_EQ(image->Status, PngStatus::BadTableLength);
}

// Independent of the decoder's expression: pow in double, rounded half to even.
uint8_t ExpectedGamma(int i, double gamma)
{
    double v = std::pow(i / 255.0, 1.0 / (gamma / 100000.0 * 2.2)) * 255.0;
    return static_cast<uint8_t>(std::nearbyint(v));
}

TEST(GammaChunk, TableCorrectsForFileGammaAndADisplayOf2_2)
{
    for (uint32_t gamma : {45455u, 100000u, 22000u, 1000000u}) {
        ImageRef image;
        image->Clear();
        LoadHeader(*image, 1, 1, 8, 2);
        auto* chunk = LoadChunk<PngGammaChunk>(*image, "gAMA", BigEndian32(gamma));
        EXPECT_EQ(chunk->GetGamma(), gamma);
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(image->GammaTable[i], ExpectedGamma(i, gamma)) << "gamma " << gamma << " entry " << i;
    }
}

TEST(GammaChunk, EachValueGetsItsOwnTableWhateverCameBeforeOnAnyThread)
{
    // Repeats and alternations, alone and then on two threads at once: a
    // table kept from an earlier file, this thread's or another's, must be
    // used only for the same value.
    const std::array<uint32_t, 7> values = {45455u, 45455u, 100000u, 45455u, 22000u, 100000u, 100001u};
    std::map<uint32_t, std::array<uint8_t, 256>> expected;
    for (uint32_t gamma : values)
        for (int i = 0; i < 256; ++i)
            expected[gamma][i] = ExpectedGamma(i, gamma);
    const auto wrongEntries = [&](size_t start, int rounds) {
        int wrong = 0;
        for (int round = 0; round < rounds; ++round)
            for (size_t k = 0; k < values.size(); ++k) {
                const uint32_t gamma = values[(start + k) % values.size()];
                ImageRef image;
                image->Clear();
                LoadHeader(*image, 1, 1, 8, 2);
                LoadChunk<PngGammaChunk>(*image, "gAMA", BigEndian32(gamma));
                for (int i = 0; i < 256; ++i)
                    wrong += image->GammaTable[i] != expected[gamma][i];
            }
        return wrong;
    };
    EXPECT_EQ(wrongEntries(0, 1), 0);
    int wrongThere = 0;
    std::thread other([&] { wrongThere = wrongEntries(3, 300); });
    EXPECT_EQ(wrongEntries(0, 300), 0);
    other.join();
    EXPECT_EQ(wrongThere, 0);
}

TEST(GammaChunk, ZeroLeavesTheIdentity)
{
    ImageRef image;
    image->Clear();
    LoadHeader(*image, 1, 1, 8, 2);
    LoadChunk<PngGammaChunk>(*image, "gAMA", {0, 0, 0, 0});
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(image->GammaTable[i], i);
}

TEST(GammaChunk, AWrongLengthMeansGammaOne)
{
    ImageRef image;
    image->Clear();
    LoadHeader(*image, 1, 1, 8, 2);
    auto* chunk = LoadChunk<PngGammaChunk>(*image, "gAMA", {0, 1, 0x86, 0xA0, 0});
    EXPECT_EQ(chunk->GetGamma(), 1u);
    ASSERT_EQ(chunk->DataSize, 4);
    EXPECT_EQ(ReadBigEndian32(chunk->Data), 1u);
    EXPECT_EQ(chunk->GetGamma(), 1u);
    for (int i = 0; i < 255; ++i)
        ASSERT_EQ(image->GammaTable[i], 0) << i;
    EXPECT_EQ(image->GammaTable[255], 255);
}

TEST(GammaChunk, ANewChunkHoldsGammaOne)
{
    ImageRef image;
    auto* chunk = static_cast<PngGammaChunk*>(image->CreateChunk("gAMA"));
    ASSERT_EQ(chunk->DataSize, 4);
    EXPECT_EQ(chunk->Data[3], 1);
    chunk->SetGamma(0x01020304);
    EXPECT_EQ(chunk->GetGamma(), 0x01020304u);
}

TEST(GrayPalette, RampsSpanTheBitCountThroughTheGammaTable)
{
    const struct {
        uint8_t Depth;
        int Entries;
        int Step;
    } cases[] = {{1, 2, 255}, {2, 16, 17}, {4, 16, 17}, {8, 256, 1}, {16, 256, 1}};
    for (const auto& c : cases) {
        ImageRef image;
        image->Clear();
        image->GammaTable[255] = 254;
        PngHeaderChunk* header = LoadHeader(*image, 1, 1, c.Depth, 0);
        header->BuildGrayPalette();
        for (int i = 0; i < 256; ++i) {
            int level = i < c.Entries ? i * c.Step : 0;
            uint8_t v = level == 255 ? 254 : static_cast<uint8_t>(level);
            ASSERT_EQ(header->Info.Colors[i], (std::array<uint8_t, 4>{v, v, v, 0}))
                << "depth " << int(c.Depth) << " entry " << i;
        }
    }
    ImageRef palette;
    PngHeaderChunk* header = LoadHeader(*palette, 1, 1, 8, 3);
    header->BuildGrayPalette();
    EXPECT_EQ(header->Info.Colors[255], (std::array<uint8_t, 4>{0, 0, 0, 0}));
}

TEST(TextChunk, KeywordAndTextSplitAtTheFirstZero)
{
    const struct {
        std::string Data, Keyword, Text;
    } cases[] = {{std::string("Title\0Hi\0there", 14), "Title", std::string("Hi\0there", 8)},
                 {"abc", "abc", ""},
                 {std::string("\0xy", 3), "", "xy"},
                 {std::string("key\0", 4), "key", ""}};
    for (const auto& c : cases) {
        ImageRef image;
        auto* chunk = LoadChunk<PngTextChunk>(*image, "tEXt", Bytes(c.Data.begin(), c.Data.end()));
        EXPECT_EQ(std::string_view(chunk->Keyword), c.Keyword);
        EXPECT_EQ(std::string_view(chunk->Text), c.Text);
    }
    ImageRef image;
    auto* tooShort = LoadChunk<PngTextChunk>(*image, "tEXt", {'a', 0});
    EXPECT_EQ(tooShort->DataSize, 2);
    EXPECT_TRUE(tooShort->Keyword.empty());
}

TEST(TimeChunk, SevenBytesGiveTheFieldsOtherLengthsOnlyTheData)
{
    ImageRef image;
    auto* chunk = LoadChunk<PngTimeChunk>(*image, "tIME", {0x07, 0xE3, 12, 31, 23, 59, 60});
    EXPECT_EQ(chunk->Year, 2019);
    EXPECT_EQ(chunk->Month, 12);
    EXPECT_EQ(chunk->Day, 31);
    EXPECT_EQ(chunk->Hour, 23);
    EXPECT_EQ(chunk->Minute, 59);
    EXPECT_EQ(chunk->Second, 60);
    auto* shortOne = LoadChunk<PngTimeChunk>(*image, "tIME", {0x07, 0xE3, 12, 31, 23, 59});
    EXPECT_EQ(shortOne->DataSize, 6);
    EXPECT_EQ(shortOne->Year, 0);
}

}  // namespace
