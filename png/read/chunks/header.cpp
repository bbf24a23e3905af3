// The header chunk: the picture's dimensions and format, and the image
// buffers the row converters fill and the renderer draws from.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "png/image.h"

namespace {

// Offsets into the bitmap layout are 32-bit signed (BytesPerRow, and the
// platform's bitmap sizes), so no buffer may exceed 2^31 - 1 bytes; a 32-bit
// process could not address much more anyway.
constexpr uint64_t kMaxBufferBytes = 0x7FFFFFFFu;

// The owner's ReducedWidth or ReducedHeight for this header's size. (Worked
// out here from the format's facts: the header needs nothing of the picture
// object but its fields.)
uint64_t Reduced(int32_t size, uint8_t reduction)
{
    return static_cast<uint32_t>(size / (1 << ReductionShiftOf(reduction)));
}

}  // namespace

bool PngHeaderChunk::Load(FileStream& stream, uint32_t length)
{
    if (!ReadChunkData(stream, length))
        return false;
    if (DataSize < 13) {
        Owner->Status = PngStatus::HeaderTooShort;
        return false;
    }
    uint32_t width = ReadBigEndian32(Data);
    uint32_t height = ReadBigEndian32(Data + 4);
    Width = static_cast<int32_t>(width);
    Height = static_cast<int32_t>(height);
    BitDepth = Data[8];
    ColorType = Data[9];
    CompressionMethod = Data[10];
    FilterMethod = Data[11];
    InterlaceMethod = Data[12];
    if (width > 65535 || height > 65535) {
        Owner->Status = PngStatus::SizeTooLarge;
        return false;
    }
    if (CompressionMethod != 0) {
        Owner->Status = PngStatus::BadCompression;
        return false;
    }
    if (InterlaceMethod > 1) {
        Owner->Status = PngStatus::BadInterlace;
        return false;
    }
    // An invalid pair never reaches the row loops: the load ends here,
    // before any image data, and so fails with NoImageData.
    if (!DescribePixelFormat(ColorType, BitDepth).Valid)
        return false;
    Owner->InterlaceMethod = InterlaceMethod;
    // A plain picture's rows are written whole by the plain row loop, which
    // zeroes only what it leaves (see Unfilled); Adam7 passes fill by OR.
    return CreateImageBuffers(InterlaceMethod != 0 || Owner->OnProgress);
}

void PngHeaderChunk::FreeImageBuffers()
{
    if (BitmapSection || Pixels)
        FreePixelMemory(BitmapSection, Pixels);
    FreePlaneMemory(AlphaPlane);
    BitmapSection = nullptr;
    Pixels = nullptr;
    AlphaPlane = nullptr;
    Unfilled = false;
}

// False when a buffer cannot be had; every buffer then stays none.
bool PngHeaderChunk::CreateImageBuffers(bool zeroFill)
{
    Info = {};
    FreeImageBuffers();
    const PixelFormat format = DescribePixelFormat(ColorType, BitDepth);
    const uint16_t bitCount = format.BitmapBits;
    Paletted = format.Paletted();
    uint64_t width = Reduced(Width, Owner->Reduction);
    uint64_t height = Reduced(Height, Owner->Reduction);
    if (bitCount != 0) {
        Info.Header.Size = sizeof(DibHeader);
        Info.Header.Width = static_cast<int32_t>(width);
        Info.Header.Height = static_cast<int32_t>(height);
        Info.Header.Planes = 1;
        Info.Header.BitCount = bitCount;
    }
    uint64_t bytesPerRow = ((width * bitCount + 31) & ~uint64_t{31}) / 8;
    BytesPerRow = static_cast<int32_t>(bytesPerRow);
    if (Owner->OnScanline)
        return true;
    uint64_t pixelBytes = bytesPerRow * height;
    const bool hasAlpha = format.Alpha;
    if (pixelBytes > kMaxBufferBytes || (hasAlpha && width * height > kMaxBufferBytes))
        return false;
    // Where a zero-filled block costs nothing, take it: a short stream leaves
    // most of a huge buffer unwritten, and zeroing that at the end would
    // touch every page of it.
    zeroFill = zeroFill || ZeroFillIsFree(std::max(pixelBytes, hasAlpha ? width * height : 0));
    if (hasAlpha) {
        // One spare byte: calloc(0) may answer none, which means "no plane".
        const size_t size = static_cast<size_t>(width * height) + 1;
        AlphaPlane = CreatePlaneMemory(size, zeroFill);
        if (!AlphaPlane)
            return false;
    }
    Pixels = CreatePixelMemory(Info, pixelBytes, &BitmapSection, zeroFill);
    if (!Pixels && pixelBytes > 0) {
        FreeImageBuffers();
        return false;
    }
    Unfilled = !zeroFill;
    return true;
}

void PngHeaderChunk::ZeroUnwritten(uint64_t pixelLow, uint64_t pixelHigh, uint64_t alphaWritten)
{
    if (!Unfilled)
        return;
    Unfilled = false;
    const uint64_t width = Reduced(Width, Owner->Reduction);
    const uint64_t height = Reduced(Height, Owner->Reduction);
    // The pixels end at the last row: a bitmap section has no byte past them
    // (the alpha plane has its spare byte on every platform).
    const uint64_t pixelEnd = static_cast<uint64_t>(BytesPerRow) * height;
    if (Pixels) {
        pixelHigh = std::min(std::max(pixelHigh, pixelLow), pixelEnd);
        std::memset(Pixels, 0, static_cast<size_t>(std::min(pixelLow, pixelHigh)));
        std::memset(Pixels + pixelHigh, 0, static_cast<size_t>(pixelEnd - pixelHigh));
    }
    if (AlphaPlane) {
        const uint64_t alphaEnd = width * height + 1;
        alphaWritten = std::min(alphaWritten, alphaEnd);
        std::memset(AlphaPlane + alphaWritten, 0, static_cast<size_t>(alphaEnd - alphaWritten));
    }
}

void PngHeaderChunk::BuildGrayPalette()
{
    const ::ColorType type = DescribePixelFormat(ColorType, BitDepth).Type;
    if (type != ::ColorType::Grey && type != ::ColorType::GreyAlpha)
        return;
    uint16_t bitCount = Info.Header.BitCount;
    if (bitCount == 0 || bitCount > 8)
        return;
    uint64_t n = uint64_t{1} << bitCount;
    const std::array<uint8_t, 256>& gamma = Owner->GammaTable;
    for (uint64_t i = 0; i < n; ++i) {
        uint8_t v = gamma[(i * 255) / (n - 1)];
        Info.Colors[i] = {v, v, v, 0};
    }
}

void PngHeaderChunk::Destroy()
{
    FreeImageBuffers();
    PngChunk::Destroy();
}
