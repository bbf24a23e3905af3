// Where a decode's time goes, for those who optimise it: the share left in
// inflate, the share a table-driven CRC-32 over the image data would take,
// and how often each filter type occurs.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "bench/timing.h"

// Rows per filter type: None, Sub, Up, Average, Paeth, then invalid types.
using FilterCounts = std::array<uint64_t, 6>;
FilterCounts CountFilterTypes(std::span<const uint8_t> file);
// The data of the file's image data chunks, end to end.
std::vector<uint8_t> ImageDataBytes(std::span<const uint8_t> file);

// ourSeconds and inflateSeconds per picture come from the timed rounds.
void PrintBreakdown(std::span<const Picture> pictures, std::span<const double> ourSeconds,
                    std::span<const double> inflateSeconds, int rounds);
