// The printed tables. Decoder 0 is ours; the decoder at limitIndex is the
// zlib-only limit, which gets a "share of time" column instead of a ratio.
#pragma once

#include <span>
#include <string>

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
