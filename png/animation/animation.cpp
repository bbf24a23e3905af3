// Playing an animation: each frame decoded from the file when its turn
// comes, composed into the canvas, and disposed of before the next.
#include <cstdlib>

#include "png/animation/animation.h"
#include "png/animation/chunk_walk.h"
#include "png/animation/compose.h"
#include "png/animation/frame_rows.h"
#include "png/animation/frame_stream.h"
#include "png/image.h"
#include "png/read/read_ahead.h"
#include "winlayer/base/allocation.h"

namespace {

constexpr const char* kNoMemory = "not enough memory";
constexpr const char* kBadFrame = "a frame that could not be decoded";

CanvasRows RowsOf(const PngImage& canvas)
{
    const PngHeaderChunk& h = *canvas.Header();
    return {h.Pixels, h.BytesPerRow, h.AlphaPlane, h.Width, h.Height};
}

// An 8-bit RGBA picture of the canvas's size, transparent black.
PngImage* MakeCanvas(const AnimationLayout& layout)
{
    PngImage* canvas = Create<PngImage>();
    auto* header = canvas ? static_cast<PngHeaderChunk*>(canvas->CreateChunk("IHDR")) : nullptr;
    if (!header) {
        Release(canvas);
        return nullptr;
    }
    header->Width = static_cast<int32_t>(layout.CanvasWidth);
    header->Height = static_cast<int32_t>(layout.CanvasHeight);
    header->BitDepth = 8;
    header->ColorType = 6;
    if (!header->CreateImageBuffers(true) || !header->Pixels || !header->AlphaPlane) {
        Release(canvas);
        return nullptr;
    }
    return canvas;
}

void ClearCanvas(PngImage& canvas)
{
    const CanvasRows rows = RowsOf(canvas);
    FrameControl whole;
    whole.Width = rows.Width;
    whole.Height = rows.Height;
    ClearRegion(rows, whole);
}

// The first chunk of the frame's data: the "IDAT" run for the default image,
// else the first "fdAT" after its control.
bool FindFrameData(FileStream& source, const ChunkHead& control, uint32_t& data)
{
    ChunkHead head = control;
    while (ReadChunkHead(source, NextChunk(head), head)) {
        if (head.Type == ChunkName("fdAT")) {
            data = head.Position;
            return true;
        }
        if (head.Type == ChunkName("fcTL") || head.Type == ChunkName("IEND"))
            return false;
    }
    return false;
}

// The next frame's control after position, or 0 where the file has none.
uint32_t FindNextControl(FileStream& source, uint32_t position)
{
    ChunkHead head;
    for (uint32_t at = position; ReadChunkHead(source, at, head); at = NextChunk(head)) {
        if (head.Type == ChunkName("fcTL"))
            return head.Position;
        if (head.Type == ChunkName("IEND"))
            return 0;
    }
    return 0;
}

}  // namespace

bool PngAnimation::Open(FileStream* stream)
{
    Source = stream;
    if (!Source) {
        Refusal = kNoMemory;
        return false;
    }
    // The walk reads every chunk's framing: in blocks, not call by call.
    ReadAheadStream* ahead = OpenReadAhead(*Source);
    Refusal = ReadAnimationLayout(ahead ? *ahead : *Source, Layout);
    Release(ahead);
    if (Refusal)
        return false;
    Canvas = MakeCanvas(Layout);
    Frame = Create<PngImage>();
    if (!Canvas || !Frame) {
        Refusal = kNoMemory;
        return false;
    }
    // A first frame that cannot be decoded leaves nothing to play.
    return NextFrame();
}

bool PngAnimation::NextFrame()
{
    if (!Canvas || !Frame || (Refusal && FrameIndex >= 0))
        return false;
    const bool newPlay = FrameIndex < 0 || LastFrameOfPlay() || NextControl == 0;
    uint8_t fields[kControlLength];
    ChunkHead control;
    uint32_t data = Layout.ImageData;
    const bool defaultImage = newPlay && Layout.DefaultImageIsFrame;
    const uint32_t at = newPlay ? Layout.FirstFrame : NextControl;
    if (!ReadChunkHead(*Source, at, control) || !ReadChunkStart(*Source, control, fields, kControlLength) ||
        (!defaultImage && !FindFrameData(*Source, control, data))) {
        Refusal = kBadFrame;
        return false;
    }
    const FrameControl next = ParseFrameControl(fields);
    // The file stays open while it plays, and others may write it: what the
    // structure walk checked is checked again before it sizes anything.
    if (!FitsCanvas(next, Layout)) {
        Refusal = kBadFrame;
        return false;
    }
    FrameStream* stream = OpenFrameStream(*Source, Layout, next, data, !defaultImage);
    const bool decoded = stream && Frame->LoadFromStream(*stream) && Frame->Status == PngStatus::Ok;
    const uint32_t dataEnd = stream ? stream->DataEnd : 0;
    Release(stream);
    if (!decoded || !ComposeFrame(newPlay, next)) {
        Frame->Clear();
        Refusal = decoded ? kNoMemory : kBadFrame;
        return false;
    }
    Frame->Clear();
    NextControl = FindNextControl(*Source, dataEnd);
    return true;
}

bool PngAnimation::ComposeFrame(bool newPlay, const FrameControl& next)
{
    const CanvasRows rows = RowsOf(*Canvas);
    FrameRows source;
    // What the frame needs is had before the canvas changes: a failure
    // leaves the frame shown as it was.
    const uint64_t saveBytes = 4 * uint64_t(next.Width) * uint64_t(next.Height);
    const bool save = next.Dispose == DisposeOp::Previous && !newPlay;
    if (!source.Open(*Frame) || (save && !ReserveSaved(saveBytes)))
        return false;
    if (newPlay) {
        // The first play starts on the canvas as it was made, zero-filled:
        // a huge canvas is not touched page by page for nothing.
        if (FrameIndex >= 0)
            ClearCanvas(*Canvas);
        PlayIndex += FrameIndex >= 0;
        FrameIndex = -1;
    } else {
        DisposeCurrent(rows);
    }
    if (save)
        SaveRegion(rows, next, Saved);
    for (int32_t y = 0; y < next.Height; ++y) {
        const uint8_t* alpha = nullptr;
        const uint8_t* bgr = source.Row(y, alpha);
        ComposeRow(rows.PixelRow(next.Y + y) + 3 * int64_t{next.X}, rows.AlphaRow(next.Y + y) + next.X, bgr, alpha,
                   next.Width, next.Blend);
    }
    Current = next;
    ++FrameIndex;
    return true;
}

// Dispose "previous" on a play's first frame means "background" (the
// canvas before it was transparent black anyway), so nothing is saved then.
void PngAnimation::DisposeCurrent(const CanvasRows& rows)
{
    if (Current.Dispose == DisposeOp::Background || (Current.Dispose == DisposeOp::Previous && FrameIndex == 0))
        ClearRegion(rows, Current);
    else if (Current.Dispose == DisposeOp::Previous)
        RestoreRegion(rows, Current, Saved);
}

bool PngAnimation::ReserveSaved(uint64_t bytes)
{
    if (bytes <= SavedCapacity)
        return true;
    if (bytes > SIZE_MAX)
        return false;
    void* grown = ResizeBytes(Saved, static_cast<size_t>(bytes));
    if (!grown)
        return false;
    Saved = static_cast<uint8_t*>(grown);
    SavedCapacity = bytes;
    return true;
}

void PngAnimation::Destroy()
{
    Release(Canvas);
    Release(Frame);
    Release(Source);
    std::free(Saved);
    Canvas = Frame = nullptr;
    Source = nullptr;
    Saved = nullptr;
    Obj::Destroy();
}

PngAnimation* OpenAnimation(const char* fileName)
{
    PngAnimation* animation = Create<PngAnimation>();
    if (animation)
        animation->Open(OpenReadFileStream(fileName, kOpenForSharedReading));
    return animation;
}
