// A small PNG writer for the tests: chunks with right or deliberately wrong
// CRCs, rows filtered with chosen filter types, Adam7 pass splitting, zlib
// deflate, and image data cut into as many "IDAT" chunks as wanted. Plus an
// in-memory stream to load the result from.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "png/image.h"
#include "winlayer/base/file_stream.h"

namespace pngtest {

using Bytes = std::vector<uint8_t>;

// Unfiltered samples, packed as the PNG standard packs a row (section 7.2).
struct Picture {
    uint32_t Width = 0;
    uint32_t Height = 0;
    uint8_t BitDepth = 8;
    uint8_t ColorType = 2;
    uint8_t Interlace = 0;
    std::vector<Bytes> Rows;
};

uint32_t Channels(uint8_t colorType);
size_t RowBytes(uint32_t width, uint8_t bitDepth, uint8_t colorType);
// A picture whose samples follow a fixed pseudo-random sequence from seed.
Picture NoisePicture(uint32_t width, uint32_t height, uint8_t bitDepth, uint8_t colorType, uint32_t seed);

// Filter type for the n-th row written (counted over all Adam7 passes).
using FilterChoice = std::function<uint8_t(size_t row)>;
// Rows with their filter bytes, as they go into the zlib stream; interlaced
// pictures are split into their seven passes first.
Bytes FilterPicture(const Picture& picture, const FilterChoice& choose);
Bytes FilterPicture(const Picture& picture, uint8_t filterType = 0);
Bytes Deflate(const Bytes& raw, int level = 9);

Bytes HeaderData(uint32_t width, uint32_t height, uint8_t bitDepth, uint8_t colorType, uint8_t interlace = 0,
                 uint8_t compression = 0, uint8_t filter = 0);
Bytes BigEndian32(uint32_t value);

class PngWriter {
public:
    PngWriter& Signature();
    PngWriter& Chunk(const std::string& type, const Bytes& data);
    // The stored CRC is off by one.
    PngWriter& BadCrcChunk(const std::string& type, const Bytes& data);
    // A header chunk for the picture.
    PngWriter& Header(const Picture& picture);
    // The zlib stream cut into "IDAT" chunks of at most pieceSize bytes.
    PngWriter& ImageData(const Bytes& zlib, size_t pieceSize = SIZE_MAX);
    PngWriter& End();
    // Signature, header, image data in one chunk, end.
    static Bytes Simple(const Picture& picture, uint8_t filterType = 0);

    pngtest::Bytes Data;
};

// A FileStream whose operations read a copy of bytes; released like any stream.
FileStream* OpenMemoryStream(const pngtest::Bytes& bytes);

// An image released at the end of the scope.
struct ImageRef {
    PngImage* Image = Create<PngImage>();
    ImageRef() = default;
    ImageRef(const ImageRef&) = delete;
    ImageRef& operator=(const ImageRef&) = delete;
    ~ImageRef() { Release(Image); }
    PngImage* operator->() const { return Image; }
    PngImage& operator*() const { return *Image; }
};

// LoadFromStream over the bytes; the stream is released afterwards.
bool LoadBytes(PngImage& image, const pngtest::Bytes& bytes);
// The chunk names in list order, space separated.
std::string ChunkNames(const PngImage& image);

}  // namespace pngtest
