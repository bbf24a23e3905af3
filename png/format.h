// Facts of the PNG format shared by the decoder's files (PNG standard,
// sections 5 and 11): signature, chunk names, colour and filter types, the
// pixel format a colour type and bit depth describe, Adam7.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

constexpr std::array<uint8_t, 8> kPngSignature = {137, 80, 78, 71, 13, 10, 26, 10};

// A chunk type exactly as it stands in the file; letter case matters.
struct ChunkName {
    std::array<char, 4> Bytes{};

    constexpr ChunkName() = default;
    constexpr ChunkName(const char (&text)[5]) : Bytes{text[0], text[1], text[2], text[3]} {}
    static ChunkName FromBytes(const void* bytes)
    {
        ChunkName name;
        std::memcpy(name.Bytes.data(), bytes, 4);
        return name;
    }
    // Byte by byte rather than std::array's ==, which calls memcmp: the chunk
    // walk compares names several times for every chunk.
    constexpr bool operator==(const ChunkName& other) const
    {
        return Bytes[0] == other.Bytes[0] && Bytes[1] == other.Bytes[1] && Bytes[2] == other.Bytes[2] &&
               Bytes[3] == other.Bytes[3];
    }
};

enum class ColorType : uint8_t { Grey = 0, Rgb = 2, Palette = 3, GreyAlpha = 4, RgbAlpha = 6 };
enum class FilterType : uint8_t { None = 0, Sub = 1, Up = 2, Average = 3, Paeth = 4 };

// Everything the decoder derives from a colour type and bit depth, in one
// place (PNG standard, sections 6.1 and 11.2.2). Valid pairs are the
// standard's plus palette at depth 16, which the decoder reads like 16-bit
// grey; an invalid pair has every count 0 and is refused by the header check.
struct PixelFormat {
    ColorType Type = ColorType::Grey;
    uint8_t BitDepth = 0;
    bool Valid = false;
    uint8_t Channels = 0;
    uint8_t BitsPerPixel = 0;  // of a filtered row
    uint8_t FilterStep = 0;    // bytes per complete pixel, at least 1 (PNG standard, section 9.2)
    bool Alpha = false;        // an alpha channel of its own: the picture gets an alpha plane
    // Bits per pixel of the picture's bitmap: 24 for truecolour, else
    // colour-table indices of 1, 4 (2-bit samples widened) or 8 bits.
    uint8_t BitmapBits = 0;

    constexpr bool Paletted() const { return Valid && BitmapBits != 24; }
    constexpr bool GreyOrPalette() const { return Type == ColorType::Grey || Type == ColorType::Palette; }
    // Bytes of a filtered row of width pixels without its filter byte; 0 for
    // an invalid pair. Samples below 8 bits round the row up to whole bytes.
    constexpr int64_t RowBytes(int64_t width) const { return (width * BitsPerPixel + 7) / 8; }
};

// A decode at 1 / 2^s of the size: s is the reduction when it is 1, 2 or 3,
// else 0 (full size).
constexpr int32_t ReductionShiftOf(uint8_t reduction) { return reduction >= 1 && reduction <= 3 ? reduction : 0; }

constexpr PixelFormat DescribePixelFormat(uint8_t colorType, uint8_t bitDepth)
{
    PixelFormat format;
    format.Type = static_cast<ColorType>(colorType);
    format.BitDepth = bitDepth;
    const bool anyDepth = bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
    // Samples per pixel by colour type 0 to 6 (grey, -, RGB, palette index,
    // grey and alpha, -, RGB and alpha); 0 for a type the standard lacks.
    constexpr uint8_t kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    format.Channels = colorType < 7 ? kChannels[colorType] : 0;
    // Only grey and palette samples come below 8 bits.
    format.Valid = anyDepth && format.Channels != 0 && (bitDepth >= 8 || format.Channels == 1);
    if (!format.Valid) {
        format.Channels = 0;
        return format;
    }
    format.BitsPerPixel = static_cast<uint8_t>(format.Channels * bitDepth);
    format.FilterStep = static_cast<uint8_t>(format.BitsPerPixel < 8 ? 1 : format.BitsPerPixel / 8);
    format.Alpha = format.Type == ColorType::GreyAlpha || format.Type == ColorType::RgbAlpha;
    if (format.Type == ColorType::Rgb || format.Type == ColorType::RgbAlpha)
        format.BitmapBits = 24;
    else
        format.BitmapBits = static_cast<uint8_t>(bitDepth == 1 ? 1 : bitDepth <= 4 ? 4 : 8);
    return format;
}

inline uint32_t ReadBigEndian32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

inline uint16_t ReadBigEndian16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

struct Adam7Pass {
    uint8_t StartRow, StartColumn, RowIncrement, ColumnIncrement;
};

// PNG standard, section 8.2, in pass order.
constexpr std::array<Adam7Pass, 7> kAdam7Passes = {{
    {0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4}, {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1},
}};

// Ties go to a, then b, then c (PNG standard, section 9.4).
constexpr uint8_t PaethPredictor(uint8_t a, uint8_t b, uint8_t c)
{
    int pa = b > c ? b - c : c - b;
    int pb = a > c ? a - c : c - a;
    int pc = a + b - 2 * c;
    if (pc < 0)
        pc = -pc;
    if (pa <= pb && pa <= pc)
        return a;
    return pb <= pc ? b : c;
}
