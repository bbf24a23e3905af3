// The structure walk: every rule of the animation chunks that can be checked
// without decoding (PNG standard, third edition, sections 11.3.6.1 to
// 11.3.6.3). A file that breaks one plays as its static picture.
#include <cstring>

#include "png/animation/animation.h"
#include "png/animation/chunk_walk.h"

namespace {

constexpr uint32_t kMaxFrameCount = 0x7FFFFFFFu;

// Where the walk stands: which chunks it has met and the frame it is in.
struct Walk {
    AnimationLayout& Layout;
    uint32_t Announced = 0;  // 0 until "acTL"
    uint32_t NextSequence = 0;
    bool ImageDataMet = false;
    bool FrameOpen = false;      // an "fcTL" waits for or has its data
    bool FrameIsDefault = false; // the open frame's data is the "IDAT" run
    bool FrameHasData = false;
    bool FrameDataEnded = false; // another chunk came after its data
    bool ControlBeforeAnimation = false;  // an "fcTL" before any "acTL"
};

const char* CheckControl(Walk& w, const FrameControl& f, const uint8_t* d)
{
    if (f.Sequence != w.NextSequence)
        return "a sequence number out of order";
    if (d[24] > 2 || d[25] > 1)
        return "a dispose or blend operation out of range";
    if (!FitsCanvas(f, w.Layout))
        return "a frame region empty or outside the canvas";
    if (!w.ImageDataMet && (f.X != 0 || f.Y != 0 || uint32_t(f.Width) != w.Layout.CanvasWidth ||
                            uint32_t(f.Height) != w.Layout.CanvasHeight))
        return "a default image frame that is not the whole canvas";
    return nullptr;
}

// Null to go on; kStop to end the walk with what it has.
const char* const kStop = "";

const char* OnAnimationControl(Walk& w, FileStream& s, const ChunkHead& head)
{
    if (w.Announced != 0)
        return "a second acTL";
    if (w.ControlBeforeAnimation)
        return "fcTL before acTL";
    uint8_t d[8];
    if (head.Length != 8 || !ReadChunkStart(s, head, d, 8))
        return "acTL of a wrong length";
    w.Announced = ReadBigEndian32(d);
    w.Layout.Plays = ReadBigEndian32(d + 4);
    if (w.Announced == 0 || w.Announced > kMaxFrameCount)
        return "a frame count of 0 or above 2^31 - 1";
    return nullptr;
}

const char* OnFrameControl(Walk& w, FileStream& s, const ChunkHead& head)
{
    // Without "acTL" the file is no animation, whatever else it holds; the
    // image data tells.
    if (w.Announced == 0) {
        w.ControlBeforeAnimation = true;
        return nullptr;
    }
    if (w.FrameOpen && !w.FrameHasData)
        return "a frame without data";
    // Frames beyond the count are not part of the animation.
    if (w.Layout.FrameCount == w.Announced)
        return kStop;
    uint8_t d[kControlLength];
    if (head.Length != kControlLength || !ReadChunkStart(s, head, d, kControlLength))
        return "fcTL of a wrong length";
    const FrameControl f = ParseFrameControl(d);
    if (const char* why = CheckControl(w, f, d))
        return why;
    if (w.Layout.FrameCount == 0)
        w.Layout.FirstFrame = head.Position;
    w.Layout.DefaultImageIsFrame |= !w.ImageDataMet;
    ++w.Layout.FrameCount;
    ++w.NextSequence;
    w.FrameOpen = true;
    w.FrameIsDefault = !w.ImageDataMet;
    w.FrameHasData = w.FrameDataEnded = false;
    return nullptr;
}

const char* OnFrameData(Walk& w, FileStream& s, const ChunkHead& head)
{
    if (w.Announced == 0)
        return nullptr;
    if (!w.FrameOpen || w.FrameIsDefault)
        return "fdAT without its fcTL";
    if (w.FrameDataEnded)
        return "frame data not continued in the next chunk";
    uint8_t d[4];
    if (head.Length < 4 || !ReadChunkStart(s, head, d, 4))
        return "fdAT without a sequence number";
    if (ReadBigEndian32(d) != w.NextSequence)
        return "a sequence number out of order";
    ++w.NextSequence;
    w.FrameHasData = true;
    return nullptr;
}

const char* OnImageData(Walk& w, const ChunkHead& head, bool continues)
{
    if (!w.ImageDataMet) {
        if (w.Announced == 0)
            return "no acTL before the image data";
        w.ImageDataMet = true;
        w.Layout.ImageData = head.Position;
    } else if (!continues) {
        return "image data after other chunks";
    }
    if (w.FrameOpen && !w.FrameIsDefault)
        return "image data inside a frame";
    w.FrameHasData |= w.FrameIsDefault;
    return nullptr;
}

// The tables every frame is decoded with, copied whole as they stand.
const char* KeepTable(Walk& w, FileStream& s, const ChunkHead& head)
{
    AnimationLayout& l = w.Layout;
    const uint32_t size = head.Length + 12;
    if (w.ImageDataMet)
        return nullptr;
    if (size > sizeof(l.Tables) - l.TablesSize)
        return "a palette, transparency or gamma chunk too long";
    s.SetPosition(head.Position);
    if (s.Read(l.Tables + l.TablesSize, size) != size)
        return "a palette, transparency or gamma chunk cut short";
    l.TablesSize += size;
    return nullptr;
}

const char* OnChunk(Walk& w, FileStream& s, const ChunkHead& head, const ChunkName& previous)
{
    const ChunkName& t = head.Type;
    if (t == ChunkName("acTL"))
        return OnAnimationControl(w, s, head);
    if (t == ChunkName("fcTL"))
        return OnFrameControl(w, s, head);
    if (t == ChunkName("fdAT"))
        return OnFrameData(w, s, head);
    if (t == ChunkName("IDAT"))
        return OnImageData(w, head, previous == ChunkName("IDAT"));
    if (t == ChunkName("IEND"))
        return kStop;
    w.FrameDataEnded |= w.FrameHasData && !w.FrameIsDefault;
    if (t == ChunkName("PLTE") || t == ChunkName("tRNS") || t == ChunkName("gAMA"))
        return KeepTable(w, s, head);
    return nullptr;
}

const char* ReadHeader(FileStream& stream, AnimationLayout& layout, ChunkHead& head)
{
    uint8_t signature[8];
    stream.SetPosition(0);
    if (stream.Read(signature, 8) != 8 || std::memcmp(signature, kPngSignature.data(), 8) != 0)
        return "not a PNG file";
    if (!ReadChunkHead(stream, 8, head) || !(head.Type == ChunkName("IHDR")) ||
        !ReadChunkStart(stream, head, layout.HeaderData, 13))
        return "no header";
    layout.CanvasWidth = ReadBigEndian32(layout.HeaderData);
    layout.CanvasHeight = ReadBigEndian32(layout.HeaderData + 4);
    return nullptr;
}

}  // namespace

bool FitsCanvas(const FrameControl& f, const AnimationLayout& layout)
{
    return f.Width > 0 && f.Height > 0 && f.X >= 0 && f.Y >= 0 && int64_t{f.X} + f.Width <= layout.CanvasWidth &&
           int64_t{f.Y} + f.Height <= layout.CanvasHeight && f.Dispose <= DisposeOp::Previous &&
           f.Blend <= BlendOp::Over;
}

const char* ReadAnimationLayout(FileStream& stream, AnimationLayout& layout)
{
    layout = AnimationLayout{};
    ChunkHead head;
    if (const char* why = ReadHeader(stream, layout, head))
        return why;
    Walk w{layout};
    ChunkName previous = head.Type;
    // Every chunk is at least 12 bytes long, so the walk ends within the file.
    while (ReadChunkHead(stream, NextChunk(head), head)) {
        const char* why = OnChunk(w, stream, head, previous);
        if (why == kStop)
            break;
        if (why)
            return why;
        previous = head.Type;
    }
    if (w.Announced == 0)
        return "no acTL before the image data";
    if (!w.ImageDataMet)
        return "no image data";
    if (w.FrameOpen && !w.FrameHasData)
        return "a frame without data";
    if (layout.FrameCount == 0)
        return "no frames";
    return nullptr;
}
