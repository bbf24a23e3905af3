// The transparency chunk (PNG standard, section 11.3.2.1): per-entry alpha
// for palette pictures, a key colour for grey and truecolour ones.
#include <cstring>

#include "png/image.h"

bool PngTransparencyChunk::Load(FileStream& stream, uint32_t length)
{
    if (!ReadChunkData(stream, length))
        return false;
    if (length > 256) {
        Owner->Status = PngStatus::BadTableLength;
        return false;
    }
    Alpha.fill(255);
    std::memcpy(Alpha.data(), Data, length);
    SingleColor = false;
    switch (Owner->Header()->Format().Type) {
    case ColorType::Grey:
    case ColorType::Rgb:
        SingleColor = true;
        break;
    case ColorType::Palette: {
        // One see-through entry can be drawn with a key colour; more need
        // the blend.
        int32_t below = 0;
        for (uint32_t i = 0; i < length; ++i)
            below += Alpha[i] != 255;
        SingleColor = below == 1;
        break;
    }
    default:
        break;
    }
    return true;
}
