// The time chunk (PNG standard, section 11.3.6.1): year, month, day, hour,
// minute, second of the last modification.
#include "png/image.h"

bool PngTimeChunk::Load(FileStream& stream, uint32_t length)
{
    if (!ReadChunkData(stream, length))
        return false;
    if (DataSize != 7)
        return true;
    Year = ReadBigEndian16(Data);
    Month = Data[2];
    Day = Data[3];
    Hour = Data[4];
    Minute = Data[5];
    Second = Data[6];
    return true;
}
