// Fair timing: every decoder meets every picture once per round, in an
// order that rotates from round to round, and each result is the median of
// its rounds. Noise from other processes then spreads over all decoders
// instead of landing on whichever ran during a burst.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "bench/decoders.h"

struct Picture {
    std::string Name;
    std::vector<uint8_t> Bytes;
    uint32_t Width = 0;
    uint32_t Height = 0;

    double Megapixels() const { return double(Width) * double(Height) / 1e6; }
};

// The .png files of a folder, sorted by name, read into memory. Files
// without a readable header are left out.
std::vector<Picture> LoadPictures(const std::string& folder);
bool LoadPicture(const std::string& path, Picture& picture);

struct TimingPlan {
    int Rounds = 9;
    // Each timed sample repeats a decode until it lasts about this long, so
    // small pictures are not measured at the clock's resolution.
    double SecondsPerSample = 0.01;
};

// Seconds per decode, [picture][decoder]; negative where the decoder
// refused the picture (it is then not timed).
using TimingTable = std::vector<std::vector<double>>;

TimingTable TimeDecoders(std::span<const Picture> pictures, std::span<const Decoder> decoders,
                         const TimingPlan& plan);

// One line "name ours limit" per picture, in megapixels per second (-1
// where refused), of a table of two decoders: ours and the zlib-only limit.
// bench_decode reads them back for the Windows table.
void PrintRateLines(std::span<const Picture> pictures, const TimingTable& times);

double Median(std::vector<double> values);
double NowSeconds();
