// A decoded frame's rows as the canvas takes them: blue, green, red, with
// alpha beside them, whatever the frame's colour type and depth.
#pragma once

#include <cstdint>

class PngImage;
class PngHeaderChunk;
class PngTransparencyChunk;

class FrameRows {
public:
    FrameRows() = default;
    FrameRows(const FrameRows&) = delete;
    FrameRows& operator=(const FrameRows&) = delete;
    ~FrameRows();

    // False when the frame holds no pixels or the row memory cannot be had.
    bool Open(const PngImage& frame);
    // Row y, top-down, as 3 bytes a pixel; alpha is set to the row's alpha,
    // or none where every pixel is opaque. Valid until the next call.
    const uint8_t* Row(int32_t y, const uint8_t*& alpha);

private:
    const PngHeaderChunk* Header = nullptr;
    const PngTransparencyChunk* Transparency = nullptr;
    bool KeyColour = false;           // "tRNS" names one grey or colour as see-through
    uint8_t Key[3] = {};              // blue, green, red as the frame holds them
    uint8_t* Buffer = nullptr;        // a row of colours, then a row of alphas
};
