// An animated picture: the "acTL", "fcTL" and "fdAT" chunks of the PNG
// standard (third edition, section 11.3.6), read beside the loader and played
// frame by frame onto a canvas the size of the picture. Only one frame's
// data is ever decoded at a time, straight from the file, so a long
// animation costs what one frame costs.
#pragma once

#include <cstdint>

#include "winlayer/base/file_stream.h"
#include "winlayer/base/obj.h"

class PngImage;
struct CanvasRows;

enum class DisposeOp : uint8_t { None = 0, Background = 1, Previous = 2 };
enum class BlendOp : uint8_t { Source = 0, Over = 1 };

// One "fcTL": the frame's region of the canvas, how long it shows and what
// becomes of it.
struct FrameControl {
    uint32_t Sequence = 0;
    int32_t Width = 0, Height = 0;  // of the region, at (X, Y) of the canvas
    int32_t X = 0, Y = 0;
    uint16_t DelayNumerator = 0, DelayDenominator = 0;  // seconds
    DisposeOp Dispose = DisposeOp::None;
    BlendOp Blend = BlendOp::Source;

    // As the file gives it: a denominator of 0 stands for 100.
    double DelayMilliseconds() const
    {
        return DelayNumerator * 1000.0 / (DelayDenominator == 0 ? 100 : DelayDenominator);
    }
};

// What the structure walk found; where a frame begins in the file.
struct AnimationLayout {
    uint32_t CanvasWidth = 0;
    uint32_t CanvasHeight = 0;
    uint32_t FrameCount = 0;       // frames that play: at most the count "acTL" announces
    uint32_t Plays = 0;            // 0: for ever
    bool DefaultImageIsFrame = false;
    uint32_t FirstFrame = 0;       // position of the first frame's "fcTL"
    uint32_t ImageData = 0;        // position of the first "IDAT"
    // The header's 13 data bytes, and the palette, transparency and gamma
    // chunks whole (length, type, data, CRC) as they stand before "IDAT":
    // each frame is decoded with them.
    uint8_t HeaderData[13] = {};
    uint8_t Tables[12 * 3 + 768 + 256 + 4] = {};
    uint32_t TablesSize = 0;
};

// Walks the chunks of a PNG file from its signature on (stream at the
// start) and checks the animation's structure without decoding anything.
// None when the file is a valid animation; otherwise why it plays as its
// static picture.
const char* ReadAnimationLayout(FileStream& stream, AnimationLayout& layout);
// A region non-empty and inside the canvas, with operations in range.
bool FitsCanvas(const FrameControl& frame, const AnimationLayout& layout);

class PngAnimation : public Obj {
public:
    // None while the file plays as an animation; otherwise why it does not,
    // or why the play stopped early.
    const char* Refusal = nullptr;
    AnimationLayout Layout;
    // The composed frame: the whole canvas, 8-bit RGBA, drawn and read back
    // as a static picture with alpha is. None until Open succeeds.
    PngImage* Canvas = nullptr;
    FrameControl Current;          // the frame on the canvas
    int32_t FrameIndex = -1;       // its index in the play
    uint32_t PlayIndex = 0;        // plays begun before the current one
    FileStream* Source = nullptr;  // owned

    // Takes the stream (released with the animation), checks the structure
    // and composes the first frame. False, with Refusal set, when the file
    // does not play as an animation.
    bool Open(FileStream* stream);
    // Applies the shown frame's dispose and composes the next frame; after
    // the last one, clears the canvas and begins the next play. False (the
    // canvas as it was, Refusal saying why) when a frame cannot be decoded.
    bool NextFrame();
    bool LastFrameOfPlay() const { return FrameIndex + 1 >= static_cast<int32_t>(Layout.FrameCount); }
    // Whether the current play is the last one the file asks for.
    bool LastPlay() const { return Layout.Plays != 0 && PlayIndex + 1 >= Layout.Plays; }

    void Destroy() override;

    // Where the next frame's "fcTL" stands; 0 at the end of a play.
    uint32_t NextControl = 0;
    // The region of the current frame as it was before it, for its dispose
    // "previous" (4 bytes a pixel: blue, green, red, alpha); none until
    // needed.
    uint8_t* Saved = nullptr;
    uint64_t SavedCapacity = 0;
    PngImage* Frame = nullptr;     // decodes one frame at a time

protected:
    // Composes the decoded Frame as next; false, the canvas untouched, when
    // the memory it needs cannot be had.
    bool ComposeFrame(bool newPlay, const FrameControl& next);
    void DisposeCurrent(const CanvasRows& rows);
    bool ReserveSaved(uint64_t bytes);

    ~PngAnimation() override = default;
};

// Opens the file as an animation; none only when the memory cannot be had.
// Refusal tells whether it plays.
PngAnimation* OpenAnimation(const char* fileName);
