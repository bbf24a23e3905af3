// The image side of the blend, apart from the kernel so that the kernel
// links without the decoder.
#include "png/render/blend.h"
#include "png/image.h"

BlendSource BlendSourceOf(const PngImage& image)
{
    BlendSource source;
    const PngHeaderChunk* header = image.Header();
    if (!header)
        return source;
    const DibHeader& dib = header->Info.Header;
    source.Pixels = header->Pixels;
    source.BytesPerRow = header->BytesPerRow;
    source.AlphaPlane = header->AlphaPlane;
    source.Width = dib.Width;
    source.Height = dib.Height;
    source.BitCount = dib.BitCount;
    source.ColorType = header->ColorType;
    source.Colors = &header->Info.Colors;
    if (const auto* palette = image.Find<PngPaletteChunk>("PLTE"))
        source.PaletteEntries = palette->EntryCount;
    if (const auto* transparency = image.Find<PngTransparencyChunk>("tRNS"))
        source.Alpha = &transparency->Alpha;
    return source;
}

void BlendRows(uint8_t* work, const PngImage& image) { BlendRows(work, BlendSourceOf(image)); }
