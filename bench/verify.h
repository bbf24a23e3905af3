// A speed figure means nothing for a decoder that decodes wrongly: before
// timing, each picture decoded by ours is compared with libspng's RGBA8.
#pragma once

#include <span>
#include <string>

#include "bench/timing.h"

// Prints one line for the group; false when a picture differs by more than
// maxDifference in any channel (16-bit samples may round differently).
bool VerifyGroup(const std::string& title, std::span<const Picture> pictures, int maxDifference);
