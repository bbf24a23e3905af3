#include "tests/png/render/draw_support.h"

PngImage* CraftImage(int32_t width, int32_t height, uint8_t bitDepth, uint8_t colorType)
{
    PngImage* image = Create<PngImage>();
    auto* header = static_cast<PngHeaderChunk*>(image->CreateChunk("IHDR"));
    header->Width = width;
    header->Height = height;
    header->BitDepth = bitDepth;
    header->ColorType = colorType;
    header->CreateImageBuffers();
    return image;
}

PngHeaderChunk* HeaderOf(PngImage* image) { return image->Header(); }

namespace {

uint8_t* PixelRow(PngImage* image, int32_t y)
{
    PngHeaderChunk* header = image->Header();
    return header->Pixels + size_t(header->Height - 1 - y) * header->BytesPerRow;
}

}  // namespace

void SetRgb(PngImage* image, int32_t x, int32_t y, uint32_t rgb)
{
    uint8_t* p = PixelRow(image, y) + 3 * x;
    p[0] = uint8_t(Blue(rgb)), p[1] = uint8_t(Green(rgb)), p[2] = uint8_t(Red(rgb));
}

void SetByte(PngImage* image, int32_t x, int32_t y, uint8_t value) { PixelRow(image, y)[x] = value; }

void SetAlpha(PngImage* image, int32_t x, int32_t y, uint8_t alpha)
{
    PngHeaderChunk* header = image->Header();
    header->AlphaPlane[size_t(y) * header->Width + x] = alpha;
}

void AddPalette(PngImage* image, const std::vector<uint32_t>& colours)
{
    auto* palette = static_cast<PngPaletteChunk*>(image->CreateChunk("PLTE"));
    palette->EntryCount = int32_t(colours.size());
    for (size_t i = 0; i < colours.size(); ++i)
        image->Header()->Info.Colors[i] = {uint8_t(Blue(colours[i])), uint8_t(Green(colours[i])),
                                           uint8_t(Red(colours[i])), 0};
}

void AddTransparency(PngImage* image, const std::vector<uint8_t>& alphas)
{
    auto* transparency = static_cast<PngTransparencyChunk*>(image->CreateChunk("tRNS"));
    transparency->Alpha.fill(255);
    int below = 0;
    for (size_t i = 0; i < alphas.size(); ++i) {
        transparency->Alpha[i] = alphas[i];
        below += alphas[i] < 255;
    }
    transparency->SingleColor = below == 1;
}

uint32_t Mix(uint32_t source, uint8_t alpha, uint32_t destination)
{
    auto channel = [alpha](uint32_t s, uint32_t d) { return (s * alpha + (255 - alpha) * d + 255) >> 8; };
    return Rgb32(channel(Red(source), Red(destination)), channel(Green(source), Green(destination)),
                 channel(Blue(source), Blue(destination)));
}

MemoryTarget::MemoryTarget(int32_t width, int32_t height)
{
    HDC screen = GetDC(nullptr);
    bitmap = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    dc = CreateCompatibleDC(nullptr);
    previous = SelectObject(dc, bitmap);
}

MemoryTarget::~MemoryTarget()
{
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
}
