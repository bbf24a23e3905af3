// pngdecode: loads one PNG file with the decoder and prints what it found,
// one "key: value" line each; optionally writes the picture as a PAM file.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "png/animation/animation.h"
#include "png/image.h"
#include "png/render/rgba_view.h"
#include "pngplug_version.h"

namespace {

struct Options {
    bool Help = false;
    bool Version = false;
    bool StrictCrc = false;
    int Reduction = 0;
    const char* PamPath = nullptr;
    const char* FramesDir = nullptr;
    const char* FileName = nullptr;
};

constexpr char kUsage[] =
    "usage: pngdecode [--strict-crc] [--reduction N] [--pam OUT.pam] [--frames DIR] FILE\n"
    "       pngdecode --help | --version\n"
    "\n"
    "Loads FILE with pngplug's decoder and prints one \"key: value\" line each for\n"
    "file, result, status (the code, then its meaning in brackets), width, height,\n"
    "bit_depth, color_type, interlace, transparency and chunks.\n"
    "\n"
    "  --strict-crc     a chunk with a wrong CRC stops the load (status 1)\n"
    "  --reduction N    decode at 1/2, 1/4 or 1/8 of the size for N = 1, 2, 3\n"
    "                   (0 to 255 accepted; anything else decodes at full size)\n"
    "  --pam OUT.pam    write the decoded picture as PAM (RGB_ALPHA, 8 bits)\n"
    "  --frames DIR     write every frame of an animated picture as the view shows\n"
    "                   it (the whole canvas after the frame is composed) to\n"
    "                   DIR/frame-0000.pam, frame-0001.pam, ... and print frames,\n"
    "                   plays (0: for ever) and delays_ms (each frame's delay as the\n"
    "                   file gives it). A picture that is not animated, or whose\n"
    "                   animation is refused, gives one frame, its static picture,\n"
    "                   and an animation line that says why; a frame that cannot\n"
    "                   be decoded ends the frames, and the animation line says so\n"
    "\n"
    "Exit status: 0 the file decoded (and the PAM was written); 1 it did not\n"
    "(a file that cannot be opened included), or a PAM could not be written;\n"
    "2 the command line was wrong.\n";

int Usage()
{
    std::fputs(kUsage, stderr);
    return 2;
}

// What each status code means, as the status line shows it.
const char* StatusMeaning(PngStatus status)
{
    static constexpr const char* kMeanings[] = {
        "no error",
        "CRC mismatch",
        "header data shorter than 13 bytes",
        "width or height above 65535",
        "compression method not 0",
        "interlace method neither 0 nor 1",
        "palette or transparency table of a wrong length",
        "image data continued in a chunk that is not IDAT",
        "zlib refused the image data",
        "signature missing or wrong",
        "stream ended where a chunk length was due",
        "first chunk is not IHDR",
        "a second chunk of a kind kept once",
        "no image data before the chunk loop ended",
    };
    size_t code = static_cast<size_t>(status);
    return code < std::size(kMeanings) ? kMeanings[code] : "unknown";
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
        if (arg == "--help") {
            options.Help = true;
        } else if (arg == "--version") {
            options.Version = true;
        } else if (arg == "--strict-crc") {
            options.StrictCrc = true;
        } else if (arg == "--reduction" && i + 1 < argc) {
            if (!ParseReduction(argv[++i], options.Reduction))
                return false;
        } else if (arg == "--pam" && i + 1 < argc) {
            options.PamPath = argv[++i];
        } else if (arg == "--frames" && i + 1 < argc) {
            options.FramesDir = argv[++i];
        } else if (arg.rfind("--", 0) == 0 || options.FileName) {
            return false;
        } else {
            options.FileName = argv[i];
        }
    }
    return options.Help || options.Version || options.FileName != nullptr;
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
    std::printf("status: %d (%s)\n", static_cast<int>(image.Status), StatusMeaning(image.Status));
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

std::string FramePath(const char* dir, size_t index)
{
    char name[32];
    std::snprintf(name, sizeof(name), "/frame-%04zu.pam", index);
    return dir + std::string(name);
}

// Milliseconds to three decimals, without trailing zeros: 100, 33.333.
std::string DelayText(double milliseconds)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%.3f", milliseconds);
    std::string s = text;
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.')
        s.pop_back();
    return s;
}

// The frames as the view shows them; the static picture alone when the file
// does not play as an animation.
bool WriteFrames(const PngImage& image, const char* fileName, const char* dir)
{
    PngAnimation* animation = OpenAnimation(fileName);
    if (!animation)
        return false;
    const bool animated = !animation->Refusal;
    std::string delays;
    size_t written = 0;
    bool ok = true;
    if (!animated) {
        ok = WritePam(image, FramePath(dir, written++).c_str());
        delays = "0";
    }
    for (uint32_t i = 0; animated && ok && i < animation->Layout.FrameCount; ++i) {
        if (i > 0 && !animation->NextFrame())
            break;
        ok = WritePam(*animation->Canvas, FramePath(dir, written++).c_str());
        delays += (i > 0 ? " " : "") + DelayText(animation->Current.DelayMilliseconds());
    }
    std::printf("frames: %zu\n", written);
    std::printf("plays: %u\n", animated ? animation->Layout.Plays : 1u);
    std::printf("delays_ms: %s\n", delays.c_str());
    if (!animated)
        std::printf("animation: none: %s\n", animation->Refusal);
    else if (animation->Refusal)
        std::printf("animation: ended after frame %zu of %u: %s\n", written - 1, animation->Layout.FrameCount,
                    animation->Refusal);
    Release(animation);
    return ok;
}

// The decoder only sees a stream that ends at once; say why on stderr
// (a folder opens but cannot be read).
void ReportUnreadable(const char* path)
{
    errno = 0;
    std::FILE* file = std::fopen(path, "rb");
    bool readable = file && (std::fgetc(file) != EOF || !std::ferror(file));
    int reason = errno;
    if (file)
        std::fclose(file);
    if (!readable)
        std::fprintf(stderr, "pngdecode: cannot open %s: %s\n", path, std::strerror(reason));
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options))
        return Usage();
    if (options.Help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options.Version) {
        std::printf("pngdecode %s\n", PNGPLUG_VERSION_TEXT);
        return 0;
    }
    ReportUnreadable(options.FileName);
    PngImage* image = Create<PngImage>();
    image->StrictCrc = options.StrictCrc;
    image->Reduction = static_cast<uint8_t>(options.Reduction);
    bool result = image->LoadFromFile(options.FileName);
    PrintReport(*image, options.FileName, result);
    bool written = true;
    if (result && options.PamPath)
        written = WritePam(*image, options.PamPath);
    if (!written)
        std::fprintf(stderr, "pngdecode: cannot write %s\n", options.PamPath);
    if (result && written && options.FramesDir && !WriteFrames(*image, options.FileName, options.FramesDir)) {
        std::fprintf(stderr, "pngdecode: cannot write the frames to %s\n", options.FramesDir);
        written = false;
    }
    Release(image);
    if (!written)
        return 1;
    return result ? 0 : 1;
}
