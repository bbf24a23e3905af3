// The palette chunk. Its entries live in the header chunk's colour table,
// already passed through the gamma table in force when the palette is read.
#include "png/image.h"

bool PngPaletteChunk::Load(FileStream& stream, uint32_t length)
{
    if (!ReadChunkData(stream, length))
        return false;
    if (length % 3 != 0 || length / 3 > 256) {
        Owner->Status = PngStatus::BadTableLength;
        return false;
    }
    EntryCount = static_cast<int32_t>(length / 3);
    PngHeaderChunk* header = Owner->Header();
    const std::array<uint8_t, 256>& gamma = Owner->GammaTable;
    for (int32_t i = 0; i < EntryCount; ++i) {
        const uint8_t* rgb = Data + 3 * i;
        header->Info.Colors[i] = {gamma[rgb[2]], gamma[rgb[1]], gamma[rgb[0]], 0};
    }
    return true;
}

uint32_t PngPaletteChunk::GetPaletteColor(uint8_t index) const
{
    if (index >= EntryCount)
        return 0;
    const std::array<uint8_t, 4>& entry = Owner->Header()->Info.Colors[index];
    return entry[0] | (uint32_t{entry[1]} << 8) | (uint32_t{entry[2]} << 16);
}
