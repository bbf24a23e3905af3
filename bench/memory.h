// The memory table of the benchmark (needs the counting allocator).
#pragma once

#include <span>

#include "bench/timing.h"

void PrintPeakHeap(std::span<const Picture> pictures, std::span<const Decoder> decoders);
// The largest figure of any picture of the group, per decoder, on one line.
void PrintLargestHeap(const char* title, std::span<const Picture> pictures, std::span<const Decoder> decoders);
