// bench_decode CORPUS [--rounds N] [--every] [--group FOLDER] [--i686 FILE [--i686-label TEXT]]
//              [--i686-afresh FILE] [--memory keep|fresh|both] [--once DECODER] [--pages-afresh]
// Decode speed of ours against libpng, libspng, stb_image and the zlib-only
// limit on the corpus of make_corpus.sh and the real pictures run_bench.sh
// links into it, with the heap keeping its pages and with fresh memory for
// every decode; peak heap per decode; the blend
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
    bool KeepPages = true;    // time the groups on a heap that keeps its pages
    bool FreshMemory = true;  // and with fresh memory for every decode
    std::string Once;  // a decoder's name: each picture decoded once by it, no timing (for a profiler)
    bool PagesAfresh = false;  // only the lines of ours and the limit on fresh pages (see kPagesAfresh)
    std::string I686Afresh;    // those lines, from a run next to the i686 one
};

// glibc's thresholds for mapping a block afresh and for giving freed memory back.
struct MemoryMode {
    const char* Name;
    int MapThreshold;
    int TrimThreshold;
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
    {"theme512", "icon theme, 512 x 512", 0.01, true},
    {"theme96", "icon theme, 96 x 96", 0.003, true},
    {"photos", "wallpapers and photographs", 0.0, true},
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
        else if (arg == "--memory" && i + 1 < argc) {
            std::string mode = argv[++i];
            options.KeepPages = mode != "fresh";
            options.FreshMemory = mode != "keep";
        }
        else if (arg == "--once" && i + 1 < argc)
            options.Once = argv[++i];
        else if (arg == "--group" && i + 1 < argc)
            options.OnlyGroup = argv[++i];
        else if (arg == "--i686" && i + 1 < argc)
            options.I686Results = argv[++i];
        else if (arg == "--i686-label" && i + 1 < argc)
            options.I686Label = argv[++i];
        else if (arg == "--i686-afresh" && i + 1 < argc)
            options.I686Afresh = argv[++i];
        else if (arg == "--pages-afresh")
            options.PagesAfresh = true;
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
}

// glibc maps a large block afresh or takes it from the heap depending on
// what was freed before, so which decoder pays the page faults of its output
// buffer (microseconds each on some virtual machines) follows the order of
// the rounds. Every group is timed twice: first under glibc's own policy, as
// a user's process meets it (fresh blocks as glibc sees fit: each decode may
// map its output afresh), then with every block from a heap that keeps its
// pages, where output buffers cost what writing them costs. glibc's dynamic
// policy cannot be had back once thresholds are set, hence that order.
constexpr MemoryMode kDefaultPolicy{"glibc's default (fresh memory)", 0, 0};
constexpr MemoryMode kKeepPages{"heap that keeps its pages", 32 << 20, 1 << 30};
// The Windows build's pixels are a bitmap section. A new one is mapped
// afresh, with a page fault for every page of the output; the one freed last
// is kept for the next picture that fits it, as glibc mostly hands this
// build a block it kept. For the i686 table this build is also timed with
// every large block mapped afresh: what either build pays where nothing fits.
constexpr MemoryMode kPagesAfresh{"every large block mapped afresh", 128 << 10, 128 << 10};

void UseMemory(const MemoryMode& mode)
{
    if (mode.MapThreshold == 0)
        return;
    // 32 MB is the largest threshold glibc takes on 64-bit machines.
    if (!mallopt(M_MMAP_THRESHOLD, mode.MapThreshold) || !mallopt(M_TRIM_THRESHOLD, mode.TrimThreshold))
        std::fprintf(stderr, "mallopt refused the policy \"%s\"\n", mode.Name);
}

using RateLines = std::map<std::string, std::pair<double, double>>;

// Lines "name ours limit" in megapixels per second, as bench_decode_win32
// and --pages-afresh write them.
RateLines ReadRateLines(const std::string& path)
{
    std::ifstream in(path);
    RateLines rates;
    std::string name;
    double ours, limit;
    while (in >> name >> ours >> limit)
        rates[name] = {ours, limit};
    return rates;
}

// The Windows figures against this build's, from this run (glibc's policy)
// and, where given, from the run on fresh pages next to the Windows one.
void PrintI686(const Options& options, std::span<const Picture> large, const TimingTable& times)
{
    const RateLines windows = ReadRateLines(options.I686Results);
    const RateLines afresh = options.I686Afresh.empty() ? RateLines{} : ReadRateLines(options.I686Afresh);
    std::printf("\n== %s against this build: megapixels per second\n", options.I686Label.c_str());
    std::printf("%-14s%9s%9s%12s%14s%13s%15s%16s\n", "picture", "native", "windows", "win/native", "native afresh",
                "win/afresh", "limit win/nat", "win ours/limit");
    for (size_t p = 0; p < large.size(); ++p) {
        const auto rate = [&](size_t d) { return times[p][d] > 0 ? large[p].Megapixels() / times[p][d] : -1; };
        const double native = rate(0), nativeLimit = rate(kLimitIndex);
        auto found = windows.find(large[p].Name);
        std::printf("%-14s%9.1f", large[p].Name.c_str(), native);
        if (found == windows.end() || found->second.first <= 0 || native <= 0) {
            std::printf("%9s%12s\n", "-", "-");
            continue;
        }
        const auto [win, winLimit] = found->second;
        std::printf("%9.1f%11.2fx", win, win / native);
        auto fresh = afresh.find(large[p].Name);
        if (fresh != afresh.end() && fresh->second.first > 0)
            std::printf("%14.1f%12.2fx", fresh->second.first, win / fresh->second.first);
        else
            std::printf("%14s%13s", "-", "-");
        std::printf("%14.2fx%16.2f\n", winLimit / nativeLimit, win / winLimit);
    }
    std::printf("(the Windows figures come from a separate run; native afresh: this build with every large\n"
                " block mapped afresh, as a new bitmap section is, timed next to it; limit win/nat: zlib's\n"
                " own speed there against here, on the same data)\n");
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

// Under a profiler: the groups' pictures decoded once each by one decoder.
int DecodeOnce(const Options& options, std::map<std::string, std::vector<Picture>>& pictures)
{
    for (const Decoder& decoder : kDecoders) {
        if (options.Once != decoder.Name)
            continue;
        int failed = 0;
        for (const Group& group : kGroups)
            if (options.OnlyGroup.empty() || options.OnlyGroup == group.Folder)
                for (const Picture& picture : pictures[group.Folder])
                    failed += decoder.Decode(picture.Bytes).Ok ? 0 : 1;
        return failed == 0 ? 0 : 1;
    }
    std::fprintf(stderr, "no decoder named %s\n", options.Once.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: bench_decode CORPUS [--rounds N] [--every] [--group FOLDER] "
                             "[--i686 FILE [--i686-label TEXT]] [--i686-afresh FILE] [--memory keep|fresh|both] "
                             "[--once DECODER] [--pages-afresh]\n");
        return 2;
    }
    if (options.PagesAfresh) {
        UseMemory(kPagesAfresh);
        const std::vector<Picture> large = LoadPictures(options.Corpus + "/large");
        const Decoder oursAndLimit[] = {kDecoders[0], kDecoders[kLimitIndex]};
        PrintRateLines(large, TimeDecoders(large, oursAndLimit, {options.Rounds, 0.0}));
        return large.empty() ? 1 : 0;
    }
    PrintSetting(options);
    std::vector<const MemoryMode*> modes;
    if (options.FreshMemory)
        modes.push_back(&kDefaultPolicy);
    if (options.KeepPages)
        modes.push_back(&kKeepPages);
    std::map<std::string, std::vector<Picture>> pictures;
    for (const Group& group : kGroups) {
        pictures[group.Folder] = LoadPictures(options.Corpus + "/" + group.Folder);
        bool chosen = options.OnlyGroup.empty() || options.OnlyGroup == group.Folder;
        if (group.Verify && chosen && options.Once.empty())
            VerifyGroup(group.Folder, pictures[group.Folder], 1);
    }
    if (!options.Once.empty())
        return DecodeOnce(options, pictures);
    if (pictures["large"].empty()) {
        std::fprintf(stderr, "no pictures in %s/large: run bench/make_corpus.sh first\n", options.Corpus.c_str());
        return 1;
    }
    TimingTable largeTimes;
    std::vector<SummaryLine> summary;
    for (const MemoryMode* mode : modes) {
        UseMemory(*mode);
        for (const Group& group : kGroups) {
            const std::vector<Picture>& set = pictures[group.Folder];
            if ((!options.OnlyGroup.empty() && options.OnlyGroup != group.Folder) || set.empty())
                continue;
            // The per-picture rows only where a group is small enough to read.
            bool every = options.EveryPicture || set.size() <= 13;
            TimingTable times = TimeDecoders(set, kDecoders, {options.Rounds, group.SecondsPerSample});
            std::string title = std::string(group.Title) + ", " + mode->Name;
            PrintGroup({title, set, kDecoders, &times, kLimitIndex, every});
            summary.push_back(Summarize(group.Title, mode->Name, set, times));
            if (std::strcmp(group.Folder, "large") == 0 && largeTimes.empty()) {
                largeTimes = times;
                PrintLargeBreakdown(set, times, options.Rounds);
            }
            std::fflush(stdout);
        }
    }
    PrintSummary(summary, kDecoders, kLimitIndex);
    UseMemory(kKeepPages);
    PrintPeakHeap(pictures["large"], kDecoders);
    for (const Group& group : kGroups)
        if (std::strcmp(group.Folder, "large") != 0 && !pictures[group.Folder].empty())
            PrintLargestHeap(group.Title, pictures[group.Folder], kDecoders);
    PrintBlendRate(options.Corpus + "/large/rgba8.png", options.Rounds);
    if (!options.I686Results.empty())
        PrintI686(options, pictures["large"], largeTimes);
    return 0;
}
