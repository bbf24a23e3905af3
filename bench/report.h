// The printed tables. Decoder 0 is ours; the decoder at limitIndex is the
// zlib-only limit, which gets a "share of time" column instead of a ratio.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "bench/timing.h"

struct GroupReport {
    std::string Title;
    std::span<const Picture> Pictures;
    std::span<const Decoder> Decoders;
    const TimingTable* Times = nullptr;
    size_t LimitIndex = 0;
    bool EveryPicture = true;  // false: the geometric mean alone
};

void PrintGroup(const GroupReport& report);

// One group timed under one memory policy, in geometric means over its
// pictures: ours in megapixels per second, and every other decoder's seconds
// over ours (for the limit: ours as a share of the limit's speed).
struct SummaryLine {
    std::string Group;
    std::string Memory;
    size_t Pictures = 0;
    double OursRate = -1;
    std::vector<double> Ratios;
    double SlowestVsLibpng = -1;  // the least ours / libpng of any picture
    std::string SlowestName;
};

SummaryLine Summarize(const std::string& group, const std::string& memory, std::span<const Picture> pictures,
                      const TimingTable& times);
void PrintSummary(std::span<const SummaryLine> lines, std::span<const Decoder> decoders, size_t limitIndex);
