// Test support for the row loops: what the decoder must deliver for a
// picture (worked out pixel by pixel from the buffer layout, independently of
// the converters), what it did deliver, and a rig that runs a loop on rows
// from memory, recording every read.
#pragma once

#include <cstdint>
#include <vector>

#include "png/image.h"
#include "tests/support/png_writer.h"

namespace pngtest {

// Every colour type and depth pair of the PNG standard, which the loops'
// tests run through.
struct Format {
    uint8_t ColorType, BitDepth;
};

inline const std::vector<Format> kFormats = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                                             {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};

// The value pixel (x, y) of the picture must have in Pixels: the grey level
// or palette index at the buffer's depth (2-bit grey v becomes 5v), or red,
// green, blue as 0xRRGGBB; 16-bit samples by their high byte. Identity gamma.
uint32_t ExpectedPixel(const Picture& picture, uint32_t x, uint32_t y);
// The alpha sample's high byte; colour types 4 and 6 only.
uint8_t ExpectedAlpha(const Picture& picture, uint32_t x, uint32_t y);

// Pixel (x, y) of the decoded buffer in the same form; rows bottom-up.
uint32_t DeliveredPixel(const PngHeaderChunk& header, int32_t x, int32_t y);
uint8_t DeliveredAlpha(const PngHeaderChunk& header, int32_t x, int32_t y);

// Every pixel (and alpha) of the ReducedWidth x ReducedHeight result against
// source pixel (x << shift, y << shift).
void ExpectDecoded(const PngImage& image, const Picture& picture, int32_t shift);

// True when every byte of Pixels and AlphaPlane is 0.
bool BuffersAreZero(const PngHeaderChunk& header);

// Records OnProgress calls; answers false to the calls whose index is listed.
struct ProgressLog {
    struct Call {
        int32_t Pass, LastPass, Percent;
        bool operator==(const Call&) const = default;
    };
    std::vector<Call> Calls;
    std::vector<size_t> RefuseAt;
    void Attach(PngImage& image);
};

// Records OnScanline calls. Sets Stop on call StopAt; when Pixels is set,
// points every row at Pixels + Row * Stride (and alpha at Alpha + Row *
// AlphaStride) on the call before it is converted.
struct ScanlineLog {
    struct Call {
        int32_t Row, Width, Height;
        bool operator==(const Call&) const = default;
    };
    std::vector<Call> Calls;
    int64_t StopAt = -1;
    uint8_t* Pixels = nullptr;
    int64_t Stride = 0;
    uint8_t* Alpha = nullptr;
    int64_t AlphaStride = 0;
    bool SpoilSize = false;  // the handler writes 0 into width and height
    void Attach(PngImage& image);
};

// An image with a header chunk (and its buffers) and an image-data chunk set
// up as the "IDAT" handler sets it up, whose loop reads from Stream.
class LoopRig {
public:
    LoopRig(const Picture& picture, uint8_t reduction = 0);
    LoopRig(const LoopRig&) = delete;
    LoopRig& operator=(const LoopRig&) = delete;

    void RunPlain();
    void RunAdam7();

    ImageRef Image;
    PngHeaderChunk* Header = nullptr;
    PngImageDataChunk* Chunk = nullptr;
    Bytes Stream;                  // filtered rows, filter bytes included
    size_t Position = 0;
    std::vector<int32_t> Reads;    // the count asked by each read

private:
    Bytes buffers_;
};

}  // namespace pngtest
