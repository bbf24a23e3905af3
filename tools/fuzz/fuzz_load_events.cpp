// LoadFromStream with both events assigned. The last four bytes of the input
// steer the handlers: bytes 0-1 the OnScanline call that sets Stop (every
// call counts, before and after a row), byte 2 the OnProgress call that
// answers false, byte 3 the reduction (bits 0-1) and whether OnProgress is
// assigned at all (bit 2 clear). The scanline handler points the rows at
// buffers of its own, sized exactly as the header's buffers would be, so
// that a converter writing past a row is caught; the decoder makes no
// buffers of its own.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/fuzz/fuzz_support.h"

namespace {

using fuzz::Require;

constexpr uint8_t kUntouched = 0xA5;  // alpha rows of pictures without alpha keep it

struct Steering {
    uint32_t StopAtCall = 0xFFFF;
    uint32_t FalseAtProgress = 0xFF;
    uint8_t Reduction = 0;
    bool Progress = true;
};

Steering SteeringFrom(const uint8_t* data, size_t size)
{
    Steering steer;
    if (size < 4)
        return steer;
    const uint8_t* tail = data + size - 4;
    steer.StopAtCall = uint32_t{tail[0]} << 8 | tail[1];
    steer.FalseAtProgress = tail[2];
    steer.Reduction = tail[3] & 3;
    steer.Progress = (tail[3] & 4) == 0;
    return steer;
}

struct Recorder {
    Steering Steer;
    std::vector<uint8_t> PixelRow;
    std::vector<uint8_t> AlphaRow;
    bool RowsMade = false;
    bool InsideRow = false;
    int32_t Row = 0;
    uint32_t ScanlineCalls = 0;
    uint32_t ProgressCalls = 0;
    bool Stopped = false;
    uint64_t Digest = 0xcbf29ce484222325u;

    void Add(const uint8_t* bytes, size_t count)
    {
        for (size_t i = 0; i < count; ++i)
            Digest = (Digest ^ bytes[i]) * 0x100000001b3u;
    }
};

void MakeRows(Recorder& rec, const PngImage& image)
{
    const PngHeaderChunk& header = *image.Header();
    Require(header.Pixels == nullptr && header.AlphaPlane == nullptr, "no buffers while OnScanline is assigned");
    Require(header.BytesPerRow >= 0 && image.ReducedWidth() >= 0, "row sizes of a delivered row");
    rec.PixelRow.assign(static_cast<size_t>(header.BytesPerRow), 0);
    rec.AlphaRow.assign(static_cast<size_t>(image.ReducedWidth()), kUntouched);
    rec.RowsMade = true;
}

void BeforeRow(Recorder& rec, PngImage& image, int32_t row, uint8_t*& pixelRow, uint8_t*& alphaRow)
{
    Require(!rec.InsideRow, "every row is announced once before its conversion");
    Require(row >= 0 && row < image.Height(), "the row number lies inside the picture");
    if (!rec.RowsMade)
        MakeRows(rec, image);
    std::fill(rec.PixelRow.begin(), rec.PixelRow.end(), 0);
    std::fill(rec.AlphaRow.begin(), rec.AlphaRow.end(), kUntouched);
    pixelRow = rec.PixelRow.data();
    alphaRow = rec.AlphaRow.data();
    rec.InsideRow = true;
    rec.Row = row;
}

void AfterRow(Recorder& rec, const PngImage& image, int32_t row)
{
    Require(rec.InsideRow && row == rec.Row, "the call after a row names the row announced");
    rec.InsideRow = false;
    rec.Add(rec.PixelRow.data(), rec.PixelRow.size());
    if (image.Header()->Format().Alpha) {
        rec.Add(rec.AlphaRow.data(), rec.AlphaRow.size());
        return;
    }
    for (uint8_t alpha : rec.AlphaRow)
        Require(alpha == kUntouched, "a picture without alpha leaves the alpha row alone");
}

void OnScanline(void* context, PngImage* image, int32_t row, int32_t& width, int32_t& height, uint8_t*& pixelRow,
                uint8_t*& alphaRow, bool& stop)
{
    auto& rec = *static_cast<Recorder*>(context);
    Require(!rec.Stopped, "no row event after Stop");
    Require(!stop, "Stop is cleared before each call");
    Require(height == image->Height() && (width == image->Width() || width == -image->Width()),
            "the event passes the header's width and height");
    if (width > 0 || (width == 0 && !rec.InsideRow))
        BeforeRow(rec, *image, row, pixelRow, alphaRow);
    else
        AfterRow(rec, *image, row);
    if (rec.ScanlineCalls++ == rec.Steer.StopAtCall) {
        stop = true;
        rec.Stopped = true;
    }
}

bool OnProgress(void* context, PngImage*, uint8_t pass, int32_t lastPass, int32_t percent)
{
    auto& rec = *static_cast<Recorder*>(context);
    Require(lastPass >= 0 && lastPass <= 6 && pass <= lastPass, "pass numbers of a progress report");
    Require(percent >= 0, "progress is never negative");
    return rec.ProgressCalls++ != rec.Steer.FalseAtProgress;
}

struct Run {
    fuzz::LoadOutcome Outcome;
    uint64_t Digest = 0;
    uint32_t ScanlineCalls = 0;
    uint32_t ProgressCalls = 0;
};

Run LoadWithEvents(PngImage& image, const Steering& steer, const uint8_t* data, size_t size)
{
    Recorder rec;
    rec.Steer = steer;
    image.Reduction = steer.Reduction;
    image.OnScanline = {OnScanline, &rec};
    image.OnProgress = {};
    if (steer.Progress)
        image.OnProgress = {OnProgress, &rec};
    Run run;
    run.Outcome = fuzz::LoadAndCheck(image, data, size);
    // The recorder dies with this call; the image must not keep pointing at it.
    image.OnScanline = {};
    image.OnProgress = {};
    Require(!rec.InsideRow || rec.Stopped, "a row announced is finished unless Stop ended the decode");
    run.Digest = rec.Digest;
    run.ScanlineCalls = rec.ScanlineCalls;
    run.ProgressCalls = rec.ProgressCalls;
    return run;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int32_t liveBefore = Obj::LiveCount();
    Steering steer = SteeringFrom(data, size);
    PngImage* image = Create<PngImage>();
    Run first = LoadWithEvents(*image, steer, data, size);
    Run second = LoadWithEvents(*image, steer, data, size);
    Require(first.Outcome.Result == second.Outcome.Result && first.Outcome.Status == second.Outcome.Status,
            "a second load with the same events ends the same way");
    Require(first.Digest == second.Digest && first.ScanlineCalls == second.ScanlineCalls &&
                first.ProgressCalls == second.ProgressCalls,
            "a second load with the same events delivers the same rows");
    Release(image);
    Require(Obj::LiveCount() == liveBefore, "every object of the load was released");
    return 0;
}
