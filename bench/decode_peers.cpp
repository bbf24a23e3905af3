// The peer libraries, each called the way an application that wants speed
// would call it, decoding from memory into a buffer it then frees.
#include <png.h>
#include <spng.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "bench/decoders.h"

extern "C" {
unsigned char* stbi_load_from_memory(const unsigned char* buffer, int length, int* x, int* y, int* channels,
                                     int wantedChannels);
void stbi_image_free(void* block);
}

namespace {

struct MemoryReader {
    std::span<const uint8_t> File;
    size_t Offset = 0;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count)
{
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (count > reader->File.size() - reader->Offset)
        png_error(png, "read past the end");
    std::memcpy(out, reader->File.data() + reader->Offset, count);
    reader->Offset += count;
}

// Everything after the header, inside the setjmp frame of DecodeWithLibpng.
// Rows go straight into one image buffer, pass by pass for Adam7.
uint8_t* ReadLibpngRows(png_structp png, png_infop info, size_t& bytes)
{
    png_read_info(png, info);
    png_set_strip_16(png);
    png_set_packing(png);
    int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    size_t rowBytes = png_get_rowbytes(png, info);
    uint32_t height = png_get_image_height(png, info);
    bytes = rowBytes * height;
    auto* pixels = static_cast<uint8_t*>(std::malloc(bytes ? bytes : 1));
    if (!pixels)
        png_error(png, "out of memory");
    for (int pass = 0; pass < passes; ++pass)
        for (uint32_t y = 0; y < height; ++y)
            png_read_row(png, pixels + rowBytes * y, nullptr);
    png_read_end(png, nullptr);
    return pixels;
}

}  // namespace

DecodeOutcome DecodeWithLibpng(std::span<const uint8_t> file)
{
    DecodeOutcome outcome;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return outcome;
    }
    MemoryReader reader{file};
    png_set_read_fn(png, &reader, ReadFromMemory);
    uint8_t* volatile pixels = nullptr;
    size_t bytes = 0;
    if (setjmp(png_jmpbuf(png)) == 0) {
        pixels = ReadLibpngRows(png, info, bytes);
        outcome = {true, bytes};
    }
    std::free(pixels);
    png_destroy_read_struct(&png, &info, nullptr);
    return outcome;
}

DecodeOutcome DecodeWithSpng(std::span<const uint8_t> file)
{
    DecodeOutcome outcome;
    spng_ctx* context = spng_ctx_new(0);
    if (!context)
        return outcome;
    size_t bytes = 0;
    void* pixels = nullptr;
    if (spng_set_png_buffer(context, file.data(), file.size()) == 0 &&
        spng_decoded_image_size(context, SPNG_FMT_RGBA8, &bytes) == 0 && (pixels = std::malloc(bytes)) != nullptr &&
        spng_decode_image(context, pixels, bytes, SPNG_FMT_RGBA8, 0) == 0)
        outcome = {true, bytes};
    std::free(pixels);
    spng_ctx_free(context);
    return outcome;
}

DecodeOutcome DecodeWithStb(std::span<const uint8_t> file)
{
    int width = 0, height = 0, channels = 0;
    unsigned char* pixels =
        stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &width, &height, &channels, 0);
    if (!pixels)
        return {};
    stbi_image_free(pixels);
    return {true, size_t(width) * size_t(height) * size_t(channels)};
}
