// bench_decode_win32 [--rounds N] FILE...: the i686 build's decode speed,
// run under wine by run_bench.sh. Same decoder code as the plug-in, same
// in-memory stream and interleaved rounds as the native benchmark, with the
// zlib-only limit built the same way; prints one line per picture, "name
// ours limit" in megapixels per second, for bench_decode to set beside its
// own figures.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/decoders.h"
#include "bench/timing.h"

int main(int argc, char** argv)
{
    TimingPlan plan;
    std::vector<Picture> pictures;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--rounds" && i + 1 < argc) {
            plan.Rounds = std::max(7, std::atoi(argv[++i]));
            continue;
        }
        Picture picture;
        if (!LoadPicture(arg, picture)) {
            std::fprintf(stderr, "cannot read %s\n", arg.c_str());
            return 1;
        }
        pictures.push_back(std::move(picture));
    }
    plan.SecondsPerSample = 0;  // large pictures: one decode per sample
    const Decoder decoders[] = {{"ours", DecodeWithOurs}, {"zlib-only", InflateOnly}};
    PrintRateLines(pictures, TimeDecoders(pictures, decoders, plan));
    return 0;
}
