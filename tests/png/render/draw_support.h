// Pictures made by hand for the drawing tests, and what drawing them must give.
#pragma once

#include "png/image.h"
#include "tests/win32/pixels.h"

// An image holding just a header chunk with its buffers (all zero).
PngImage* CraftImage(int32_t width, int32_t height, uint8_t bitDepth, uint8_t colorType);
PngHeaderChunk* HeaderOf(PngImage* image);
// Top row first; 24-bit buffers only.
void SetRgb(PngImage* image, int32_t x, int32_t y, uint32_t rgb);
// 8-bit buffers only: a palette index or a grey level.
void SetByte(PngImage* image, int32_t x, int32_t y, uint8_t value);
void SetAlpha(PngImage* image, int32_t x, int32_t y, uint8_t alpha);
// A "PLTE" chunk of the given colours (0x00RRGGBB), written into the colour table.
void AddPalette(PngImage* image, const std::vector<uint32_t>& colours);
// A "tRNS" chunk giving these palette alphas; SingleColor as the loader sets it.
void AddTransparency(PngImage* image, const std::vector<uint8_t>& alphas);

// PNG compositing as the renderer defines it: (s*a + (255-a)*d + 255) >> 8.
uint32_t Mix(uint32_t source, uint8_t alpha, uint32_t destination);

// A memory context holding a screen-compatible bitmap, made with GDI directly
// so that the project's object count sees only the code under test.
class MemoryTarget {
public:
    MemoryTarget(int32_t width, int32_t height);
    ~MemoryTarget();
    HDC Dc() const { return dc; }

private:
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
};
