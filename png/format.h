// Facts of the PNG format shared by the decoder's files (PNG standard,
// sections 5 and 11): signature, chunk names, colour and filter types, Adam7.
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
