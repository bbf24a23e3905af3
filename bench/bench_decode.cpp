// bench_decode CORPUS [--rounds N] [--every] [--group FOLDER] [--i686 FILE [--i686-label TEXT]]
//              [--default-malloc]
// Decode speed of ours against libpng, libspng, stb_image and the zlib-only
// limit on the corpus of make_corpus.sh; peak heap per decode; the blend
// kernel's rate; and, given the results of bench_decode_win32, the i686
// build's speed next to this one. One process, one thread.
#include <png.h>
#include <spng.h>
#include <malloc.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

#include "bench/blend_bench.h"
#include "bench/breakdown.h"
#include "bench/memory.h"
#include "bench/report.h"
#include "bench/verify.h"

namespace {

constexpr Decoder kDecoders[] = {
    {"ours", DecodeWithOurs},   {"libpng", DecodeWithLibpng}, {"libspng", DecodeWithSpng},
    {"stb_image", DecodeWithStb}, {"zlib-only", InflateOnly},
};
constexpr size_t kLimitIndex = 4;

struct Options {
    std::string Corpus;
    int Rounds = 9;
    bool EveryPicture = false;  // also every PngSuite row
    std::string I686Results;
    std::string I686Label = "i686 build (mingw, under wine)";
    std::string OnlyGroup;  // empty: every group
    bool DefaultMalloc = false;
};

struct Group {
    const char* Folder;
    const char* Title;
    double SecondsPerSample;
    bool Verify;
};

constexpr Group kGroups[] = {
    {"large", "2048 x 2048", 0.0, true},
    {"icons512", "512 x 512 icons", 0.01, true},
    {"icons96", "96 x 96 icons", 0.005, true},
    // PngSuite carries gAMA chunks our decoder applies and libspng does not
    // here; the core tests compare those pictures with gamma in mind.
    {"pngsuite", "PngSuite", 0.002, false},
};

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--rounds" && i + 1 < argc)
            options.Rounds = std::max(7, std::atoi(argv[++i]));
        else if (arg == "--every")
            options.EveryPicture = true;
        else if (arg == "--default-malloc")
            options.DefaultMalloc = true;
        else if (arg == "--group" && i + 1 < argc)
            options.OnlyGroup = argv[++i];
        else if (arg == "--i686" && i + 1 < argc)
            options.I686Results = argv[++i];
        else if (arg == "--i686-label" && i + 1 < argc)
            options.I686Label = argv[++i];
        else if (options.Corpus.empty() && arg[0] != '-')
            options.Corpus = arg;
        else
            return false;
    }
    return !options.Corpus.empty();
}

void PrintSetting(const Options& options)
{
    std::printf("decoders: ours, libpng %s, libspng %d.%d.%d, stb_image, zlib %s; compiler %s\n",
                png_get_libpng_ver(nullptr), SPNG_VERSION_MAJOR, SPNG_VERSION_MINOR, SPNG_VERSION_PATCH,
                zlibVersion(), __VERSION__);
    std::ifstream cpu("/proc/cpuinfo");
    for (std::string line; std::getline(cpu, line);)
        if (line.rfind("model name", 0) == 0) {
            std::printf("processor:%s\n", line.substr(line.find(':') + 1).c_str());
            break;
        }
    std::printf("median of %d interleaved rounds; every file decoded from memory\n", options.Rounds);
    std::printf("%s\n", options.DefaultMalloc ? "glibc's default malloc policy (--default-malloc)"
                                              : "every decoder's buffers from a heap that keeps its pages");
}

// By default glibc maps a large block afresh or takes it from the heap
// depending on what was freed before, so which decoder pays the page faults
// of its output buffer (microseconds each on some virtual machines) follows
// the order of the rounds. Keeping every block on the heap gives every
// decoder the same footing: output buffers cost what writing them costs.
void KeepHeapPages()
{
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

// Lines "name megapixels-per-second" written by bench_decode_win32.
void PrintI686(const std::string& path, const std::string& label, std::span<const Picture> large,
               const TimingTable& times)
{
    std::ifstream in(path);
    std::map<std::string, double> rates;
    std::string name;
    double rate;
    while (in >> name >> rate)
        rates[name] = rate;
    std::printf("\n== %s against this build: ours, megapixels per second\n", label.c_str());
    std::printf("%-16s%11s%11s%13s\n", "picture", "native", "windows", "win/native");
    for (size_t p = 0; p < large.size(); ++p) {
        double native = times[p][0] > 0 ? large[p].Megapixels() / times[p][0] : -1;
        auto found = rates.find(large[p].Name);
        double i686 = found == rates.end() ? -1 : found->second;
        std::printf("%-16s%11.1f", large[p].Name.c_str(), native);
        if (i686 > 0 && native > 0)
            std::printf("%11.1f%12.2fx\n", i686, i686 / native);
        else
            std::printf("%11s%13s\n", "-", "-");
    }
    std::printf("(the Windows figures come from a separate run, not interleaved with this one)\n");
}

void PrintLargeBreakdown(std::span<const Picture> large, const TimingTable& times, int rounds)
{
    std::vector<double> ours, inflate;
    for (const std::vector<double>& row : times) {
        ours.push_back(row[0]);
        inflate.push_back(row[kLimitIndex]);
    }
    PrintBreakdown(large, ours, inflate, rounds);
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: bench_decode CORPUS [--rounds N] [--every] [--group FOLDER] "
                             "[--i686 FILE [--i686-label TEXT]] [--default-malloc]\n");
        return 2;
    }
    if (!options.DefaultMalloc)
        KeepHeapPages();
    PrintSetting(options);
    std::map<std::string, std::vector<Picture>> pictures;
    for (const Group& group : kGroups) {
        pictures[group.Folder] = LoadPictures(options.Corpus + "/" + group.Folder);
        if (group.Verify)
            VerifyGroup(group.Folder, pictures[group.Folder], 1);
    }
    if (pictures["large"].empty()) {
        std::fprintf(stderr, "no pictures in %s/large: run bench/make_corpus.sh first\n", options.Corpus.c_str());
        return 1;
    }
    TimingTable largeTimes;
    for (const Group& group : kGroups) {
        if (!options.OnlyGroup.empty() && options.OnlyGroup != group.Folder)
            continue;
        const std::vector<Picture>& set = pictures[group.Folder];
        TimingTable times = TimeDecoders(set, kDecoders, {options.Rounds, group.SecondsPerSample});
        bool every = options.EveryPicture || std::strcmp(group.Folder, "pngsuite") != 0;
        PrintGroup({group.Title, set, kDecoders, &times, kLimitIndex, every});
        if (std::strcmp(group.Folder, "large") == 0) {
            largeTimes = times;
            PrintLargeBreakdown(set, times, options.Rounds);
        }
        std::fflush(stdout);
    }
    PrintPeakHeap(pictures["large"], kDecoders);
    PrintBlendRate(options.Corpus + "/large/rgba8.png", options.Rounds);
    if (!options.I686Results.empty())
        PrintI686(options.I686Results, options.I686Label, pictures["large"], largeTimes);
    return 0;
}
