// stb_image as the independent decoder behind the view tests' expected pixels.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb_image.h>

#include <cstdio>
#include <vector>

#include "tests/plugin/view_support.h"

namespace {

bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    uint8_t buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
    return bytes.size() > 33;
}

}  // namespace

bool DecodeWithOracle(const std::string& path, OraclePicture& picture)
{
    std::vector<uint8_t> bytes;
    if (!ReadFile(path, bytes))
        return false;
    int width = 0, height = 0, channels = 0;
    stbi_uc* rgba = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels, 4);
    if (!rgba)
        return false;
    picture.Width = width;
    picture.Height = height;
    picture.Rgba.assign(rgba, rgba + size_t(width) * height * 4);
    stbi_image_free(rgba);
    // The colour type is byte 25 of the file: the ninth byte of the header chunk's data.
    const uint8_t colourType = bytes[25];
    picture.ColourKeyed = colourType == 0 || colourType == 2;
    AddLaterFrames(path, picture);
    return true;
}
