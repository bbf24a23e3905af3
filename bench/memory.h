// The memory table of the benchmark (needs the counting allocator).
#pragma once

#include <span>

#include "bench/timing.h"

void PrintPeakHeap(std::span<const Picture> pictures, std::span<const Decoder> decoders);
