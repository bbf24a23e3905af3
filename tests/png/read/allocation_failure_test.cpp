// Every allocation of a load may fail: the load ends, refused or complete,
// and leaves nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "png/animation/animation.h"
#include "png/render/rgba_view.h"
#include "tests/support/png_writer.h"
#include "winlayer/base/allocation.h"

using namespace pngtest;

namespace {

// A picture of each colour type (one interlaced, one in many image data
// chunks), each with a chunk of every kind the loader keeps.
std::vector<Bytes> EveryKindOfFile()
{
    const uint8_t kinds[][3] = {{0, 1, 0}, {0, 16, 1}, {2, 8, 0}, {3, 4, 0}, {3, 8, 1}, {4, 8, 0}, {6, 16, 0}};
    std::vector<Bytes> files;
    for (const auto& kind : kinds) {
        Picture picture = NoisePicture(9, 7, kind[1], kind[0], kind[2] + 3);
        picture.Interlace = kind[2];
        PngWriter writer;
        writer.Signature().Header(picture);
        writer.Chunk("gAMA", BigEndian32(45455)).Chunk("tEXt", {'k', 0, 'v', 'w'}).Chunk("abCD", {1, 2});
        if (kind[0] == 3)
            writer.Chunk("PLTE", Bytes(3 * 16, 0x55)).Chunk("tRNS", {0, 128});
        writer.ImageData(Deflate(FilterPicture(picture)), kind[2] ? 7 : SIZE_MAX).Chunk("tIME", Bytes(7, 1)).End();
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

// Three frames of 8-bit RGBA: the default image, then regions composed
// over it, the second disposed of as "previous" (so its region is saved).
Bytes Animation()
{
    PngWriter w;
    const Picture canvas = NoisePicture(9, 7, 8, 6, 11);
    w.Signature().Header(canvas).Chunk("acTL", {0, 0, 0, 3, 0, 0, 0, 1});
    const auto control = [](uint8_t seq, uint8_t w, uint8_t h, uint8_t x, uint8_t y, uint8_t dispose) {
        return Bytes{0, 0, 0, seq, 0, 0, 0, w, 0, 0, 0, h, 0, 0, 0, x, 0, 0, 0, y, 0, 1, 0, 10, dispose, 1};
    };
    w.Chunk("fcTL", control(0, 9, 7, 0, 0, 0)).ImageData(Deflate(FilterPicture(canvas)));
    uint8_t seq = 1;
    for (uint8_t x : {1, 4}) {
        w.Chunk("fcTL", control(seq++, 5, 4, x, 2, x == 4 ? 2 : 1));
        Bytes data = {0, 0, 0, seq++};
        const Bytes zlib = Deflate(FilterPicture(NoisePicture(5, 4, 8, 6, x), 4));
        data.insert(data.end(), zlib.begin(), zlib.end());
        w.Chunk("fdAT", data);
    }
    return w.End().Data;
}

// The canvas after each frame of one play, while frames come.
std::vector<Bytes> PlayArmed(const Bytes& file, uint64_t failing, uint64_t* made = nullptr)
{
    std::vector<Bytes> shown;
    FileStream* stream = OpenMemoryStream(file);
    allocation_test::FailNumber(failing);
    PngAnimation* animation = Create<PngAnimation>();
    for (bool going = animation && animation->Open(stream); going; going = !animation->LastFrameOfPlay() &&
                                                                            animation->NextFrame()) {
        Bytes canvas(9 * 7 * 4);
        for (int32_t y = 0; y < 7; ++y)
            ReadRgbaRow(*animation->Canvas, y, canvas.data() + 36 * y);
        shown.push_back(canvas);
    }
    if (!animation)
        Release(stream);
    if (made)
        *made = allocation_test::Count();
    allocation_test::Disarm();
    Release(animation);
    return shown;
}

// Each allocation of a play fails in turn: the play must end on a frame it
// showed whole (or not begin), never show a frame unlike the full play's,
// and release everything.
TEST(AllocationFailure, EveryAllocationOfAnAnimationMayFail)
{
    const int32_t liveBefore = Obj::LiveCount();
    const Bytes file = Animation();
    uint64_t made = 0;
    const std::vector<Bytes> whole = PlayArmed(file, 0, &made);
    ASSERT_EQ(whole.size(), 3u);
    for (uint64_t n = 1; n <= made; ++n) {
        SCOPED_TRACE(testing::Message() << "allocation " << n << " of " << made);
        const std::vector<Bytes> seen = PlayArmed(file, n);
        ASSERT_LE(seen.size(), whole.size());
        EXPECT_TRUE(std::equal(seen.begin(), seen.end(), whole.begin())) << "a frame unlike the full play's";
        EXPECT_EQ(Obj::LiveCount(), liveBefore);
    }
}

TEST(AllocationFailure, AFileStreamThatCannotBeMadeReadsAsAMissingFile)
{
    ImageRef image;
    allocation_test::FailNumber(1);
    EXPECT_FALSE(image->LoadFromFile(PNGSUITE_DIR "/basn0g01.png"));
    EXPECT_TRUE(allocation_test::Failed());
    allocation_test::Disarm();
    EXPECT_EQ(image->Status, PngStatus::BadSignature);
    EXPECT_TRUE(image->LoadFromFile(PNGSUITE_DIR "/basn0g01.png"));
}

}  // namespace
