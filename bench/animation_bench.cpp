// bench_animation [--rounds N]: frame decoding against the static decoder on
// the same pixels, and the heap a play holds. Two 1024 x 768 RGBA
// animations of 30 frames are made in memory: whole-canvas frames (blend
// "source"), and a 256 x 256 sprite over the first frame (blend "over",
// dispose "previous"). Each animation's frames are also written as static
// pictures of their own. In each round the animation plays all its frames
// once more (a play after the first, as the view repeats it: the canvas is
// there already) and its static pictures are decoded once, in turn; the
// medians are compared. The opening (the structure walk, the canvas, the
// first frame) is timed on its own. The peak heap of a play is counted beyond what was allocated
// before it, canvases included, as pngdecode --frames holds it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/heap_count.h"
#include "bench/timing.h"
#include "png/animation/animation.h"
#include "png/image.h"
#include "png/render/rgba_view.h"
#include "tests/support/png_writer.h"
#include "winlayer/base/memory_stream.h"

namespace {

using pngtest::Bytes;
using pngtest::Picture;

constexpr uint32_t kWidth = 1024, kHeight = 768, kFrames = 30, kSprite = 256;

// A soft gradient with a disc that moves from frame to frame: content that
// compresses as real artwork does, neither flat nor noise.
Picture Painted(uint32_t w, uint32_t h, uint32_t frame, bool sprite)
{
    Picture p{w, h, 8, 6, 0, {}};
    const double cx = w * (0.3 + 0.4 * std::sin(frame * 0.21)), cy = h * (0.5 + 0.3 * std::cos(frame * 0.17));
    for (uint32_t y = 0; y < h; ++y) {
        Bytes row(size_t(w) * 4);
        for (uint32_t x = 0; x < w; ++x) {
            const double d = std::hypot(x - cx, y - cy) / (0.25 * w);
            const double inside = std::clamp(1.5 - d, 0.0, 1.0);
            uint8_t* px = &row[size_t(x) * 4];
            px[0] = uint8_t(std::lround(40 + 150 * inside + 60.0 * x / w));
            px[1] = uint8_t(std::lround(60 + 120.0 * y / h));
            px[2] = uint8_t(std::lround(200 - 140 * inside));
            px[3] = sprite ? uint8_t(std::lround(255 * inside)) : 255;
        }
        p.Rows.push_back(row);
    }
    return p;
}

void Put32(Bytes& b, uint32_t v) { b.insert(b.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}); }

struct Set {
    const char* Name;
    Bytes Animation;
    std::vector<Bytes> Statics;  // the same frames, each a picture of its own
    double FramePixels = 0;      // of all frames together
};

Set MakeSet(const char* name, bool sprites)
{
    Set set{name, {}, {}, 0};
    pngtest::PngWriter w;
    const Picture first = Painted(kWidth, kHeight, 0, false);
    w.Signature().Header(first);
    Bytes control;
    Put32(control, kFrames), Put32(control, 0);
    w.Chunk("acTL", control);
    uint32_t sequence = 0;
    for (uint32_t f = 0; f < kFrames; ++f) {
        const bool sprite = sprites && f > 0;
        const Picture p = sprite ? Painted(kSprite, kSprite, f, true) : Painted(kWidth, kHeight, f, false);
        const Bytes zlib = pngtest::Deflate(pngtest::FilterPicture(p, 4), 6);
        Bytes fc;
        for (uint32_t v : {sequence++, p.Width, p.Height, sprite ? 100 + 20 * f : 0u, sprite ? 100 + 10 * f : 0u})
            Put32(fc, v);
        fc.insert(fc.end(), {0, 4, 0, 100, uint8_t(sprite ? 2 : 0), uint8_t(sprite ? 1 : 0)});
        w.Chunk("fcTL", fc);
        if (f == 0) {
            w.ImageData(zlib, 65536);
        } else {
            for (size_t at = 0; at < zlib.size(); at += 65536) {
                Bytes data;
                Put32(data, sequence++);
                data.insert(data.end(), zlib.begin() + long(at), zlib.begin() + long(std::min(zlib.size(), at + 65536)));
                w.Chunk("fdAT", data);
            }
        }
        pngtest::PngWriter s;
        set.Statics.push_back(s.Signature().Header(p).ImageData(zlib, 65536).End().Data);
        set.FramePixels += double(p.Width) * p.Height;
    }
    set.Animation = w.End().Data;
    return set;
}

// Plays every frame once more; false when a frame does not come.
bool PlayAll(PngAnimation& a)
{
    bool ok = true;
    for (uint32_t f = 0; ok && f < kFrames; ++f)
        ok = a.NextFrame();
    return ok;
}

PngAnimation* Opened(const Bytes& bytes)
{
    PngAnimation* a = Create<PngAnimation>();
    if (a && !a->Open(OpenMemoryStream(bytes.data(), bytes.size()))) {
        Release(a);
        return nullptr;
    }
    return a;
}

bool DecodeStatics(const std::vector<Bytes>& statics)
{
    PngImage* image = Create<PngImage>();
    bool ok = image != nullptr;
    for (const Bytes& b : statics) {
        MemoryStream* s = OpenMemoryStream(b.data(), b.size());
        ok = ok && s && image->LoadFromStream(*s) && image->Status == PngStatus::Ok;
        Release(s);
    }
    Release(image);
    return ok;
}

// The heap a play holds at its peak beyond what was there before, with
// every frame read back row by row as pngdecode --frames writes it.
size_t PlayPeak(const Bytes& bytes)
{
    const size_t before = HeapCurrentBytes();
    HeapResetPeak();
    PngAnimation* a = Create<PngAnimation>();
    std::vector<uint8_t> row(size_t(kWidth) * 4);
    bool ok = a && a->Open(OpenMemoryStream(bytes.data(), bytes.size()));
    for (uint32_t f = 0; ok && f < kFrames; ++f) {
        ok = f == 0 || a->NextFrame();
        for (uint32_t y = 0; ok && y < kHeight; ++y)
            ReadRgbaRow(*a->Canvas, int32_t(y), row.data());
    }
    Release(a);
    return HeapPeakBytes() - before;
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = 9;
    if (argc == 3 && std::strcmp(argv[1], "--rounds") == 0)
        rounds = std::max(1, std::atoi(argv[2]));
    std::printf("animations of %u frames, %u x %u, median of %d rounds\n", kFrames, kWidth, kHeight, rounds);
    std::printf("| animation | frames/s | frame MP/s | static MP/s | frames / static | opening | peak heap | canvases |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    int failures = 0;
    for (const Set& set : {MakeSet("whole frames, source", false), MakeSet("256 x 256 sprite, over, previous", true)}) {
        std::vector<double> played, decoded, opened;
        for (int r = 0; r < rounds; ++r) {
            double t = NowSeconds();
            PngAnimation* a = Opened(set.Animation);
            opened.push_back(NowSeconds() - t);
            t = NowSeconds();
            failures += !a || !PlayAll(*a);
            played.push_back(NowSeconds() - t);
            Release(a);
            t = NowSeconds();
            failures += !DecodeStatics(set.Statics);
            decoded.push_back(NowSeconds() - t);
        }
        const double play = Median(played), still = Median(decoded);
        const size_t peak = PlayPeak(set.Animation);
        const double canvas = double(kWidth) * kHeight * 4;
        std::printf("| %s | %.1f | %.1f | %.1f | %.3f | %.1f ms | %.0f KB | %.2f + %.0f KB |\n", set.Name,
                    kFrames / play, set.FramePixels / play / 1e6, set.FramePixels / still / 1e6, still / play,
                    Median(opened) * 1e3, peak / 1024.0,
                    std::floor(peak / canvas), (peak - std::floor(peak / canvas) * canvas) / 1024.0);
    }
    if (failures)
        std::fprintf(stderr, "bench_animation: %d plays or decodes failed\n", failures);
    return failures ? 1 : 0;
}
