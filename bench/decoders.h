// The decoders the benchmark races: ours, three peer libraries, and the
// zlib-only limit (the inflate work alone, which no decoder can beat). Each
// call decodes one whole file from memory and frees everything it made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

struct DecodeOutcome {
    bool Ok = false;
    // The pixel buffers the decoder hands back to its caller; the memory
    // measurement counts everything else as the decoder's own overhead.
    size_t OutputBytes = 0;
};

using DecodeFunction = DecodeOutcome (*)(std::span<const uint8_t> file);

struct Decoder {
    const char* Name;
    DecodeFunction Decode;
};

// PngImage::LoadFromStream over an in-memory stream.
DecodeOutcome DecodeWithOurs(std::span<const uint8_t> file);
// libpng with png_set_strip_16 and png_set_packing only, row by row into
// its native layout.
DecodeOutcome DecodeWithLibpng(std::span<const uint8_t> file);
// libspng to RGBA8.
DecodeOutcome DecodeWithSpng(std::span<const uint8_t> file);
// stb_image with the file's own channel count.
DecodeOutcome DecodeWithStb(std::span<const uint8_t> file);
// The same IDAT data inflated one row (row length + 1) per inflate call
// through a 64 KB input buffer, as our reader feeds zlib, and nothing else.
DecodeOutcome InflateOnly(std::span<const uint8_t> file);
