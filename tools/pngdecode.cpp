// pngdecode: loads one PNG file with the decoder and prints what it found,
// one "key: value" line each; optionally writes the picture as a PAM file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "png/image.h"
#include "png/render/rgba_view.h"

namespace {

struct Options {
    bool StrictCrc = false;
    int Reduction = 0;
    const char* PamPath = nullptr;
    const char* FileName = nullptr;
};

int Usage()
{
    std::fprintf(stderr, "usage: pngdecode [--strict-crc] [--reduction N] [--pam OUT.pam] FILE\n");
    return 2;
}

bool ParseReduction(const char* text, int& value)
{
    char* end = nullptr;
    long n = std::strtol(text, &end, 10);
    if (!*text || *end || n < 0 || n > 255)
        return false;
    value = static_cast<int>(n);
    return true;
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--strict-crc") {
            options.StrictCrc = true;
        } else if (arg == "--reduction" && i + 1 < argc) {
            if (!ParseReduction(argv[++i], options.Reduction))
                return false;
        } else if (arg == "--pam" && i + 1 < argc) {
            options.PamPath = argv[++i];
        } else if (arg.rfind("--", 0) == 0 || options.FileName) {
            return false;
        } else {
            options.FileName = argv[i];
        }
    }
    return options.FileName != nullptr;
}

const char* ModeName(TransparencyMode mode)
{
    switch (mode) {
    case TransparencyMode::colourKey:
        return "colourKey";
    case TransparencyMode::alpha:
        return "alpha";
    default:
        return "none";
    }
}

void PrintReport(const PngImage& image, const char* fileName, bool result)
{
    const PngHeaderChunk* header = image.HasHeader() ? image.Header() : nullptr;
    std::printf("file: %s\n", fileName);
    std::printf("result: %s\n", result ? "true" : "false");
    std::printf("status: %d\n", static_cast<int>(image.Status));
    std::printf("width: %u\n", header ? static_cast<uint32_t>(header->Width) : 0u);
    std::printf("height: %u\n", header ? static_cast<uint32_t>(header->Height) : 0u);
    std::printf("bit_depth: %d\n", header ? header->BitDepth : 0);
    std::printf("color_type: %d\n", header ? header->ColorType : 0);
    std::printf("interlace: %d\n", header ? header->InterlaceMethod : 0);
    std::printf("transparency: %s\n", ModeName(image.GetTransparencyMode()));
    std::string names;
    for (int32_t i = 0; i < image.Chunks->Count; ++i) {
        if (i > 0)
            names += ' ';
        names.append(static_cast<const PngChunk*>(image.Chunks->Item(i))->Name.Bytes.data(), 4);
    }
    std::printf("chunks: %s\n", names.c_str());
}

// PAM (netpbm's P7) with four 8-bit samples per pixel, rows top-down.
bool WritePam(const PngImage& image, const char* path)
{
    int32_t width = image.ReducedWidth();
    int32_t height = image.ReducedHeight();
    std::FILE* file = std::fopen(path, "wb");
    if (!file)
        return false;
    std::fprintf(file, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n", width, height);
    std::vector<uint8_t> row(static_cast<size_t>(width) * 4);
    bool ok = true;
    for (int32_t y = 0; y < height && ok; ++y)
        ok = ReadRgbaRow(image, y, row.data()) && std::fwrite(row.data(), 1, row.size(), file) == row.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options))
        return Usage();
    PngImage* image = Create<PngImage>();
    image->StrictCrc = options.StrictCrc;
    image->Reduction = static_cast<uint8_t>(options.Reduction);
    bool result = image->LoadFromFile(options.FileName);
    PrintReport(*image, options.FileName, result);
    bool written = true;
    if (result && options.PamPath)
        written = WritePam(*image, options.PamPath);
    Release(image);
    if (!written) {
        std::fprintf(stderr, "pngdecode: cannot write %s\n", options.PamPath);
        return 1;
    }
    return result ? 0 : 1;
}
