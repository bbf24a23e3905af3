// What the fuzz targets share: a load over the memory stream with the checks
// every load must pass, a digest of the decoded picture for comparing two
// loads, and the step a view takes after a load.
#pragma once

#include <cstddef>
#include <cstdint>

#include "png/image.h"

namespace fuzz {

// Ends the run with the reason on stderr, so libFuzzer keeps the input.
[[noreturn]] void Fail(const char* what);
inline void Require(bool condition, const char* what)
{
    if (!condition)
        Fail(what);
}

// Above this many pixels a target skips the per-pixel work it adds itself
// (the blend, the digest): a 60-byte header may ask for 2 GB, and the
// decoder alone must show it can refuse that or touch only what it decodes.
constexpr uint64_t kModestPixels = uint64_t{1} << 18;

bool IsModest(int64_t width, int64_t height);

struct LoadOutcome {
    bool Result = false;
    PngStatus Status = PngStatus::Ok;
};

// LoadFromStream over bytes, then the checks any load must pass whatever
// the input: a status in range, a result that agrees with the chunk list,
// buffers shaped as the header says, and no input byte read twice.
LoadOutcome LoadAndCheck(PngImage& image, const uint8_t* data, size_t size);

// FNV-1a over the result, status, chunk names, colour table and buffers;
// 0 for buffers too large to be worth reading.
uint64_t DigestOf(const PngImage& image, const LoadOutcome& outcome);

// What the view does with a loaded picture: sizes, transparency mode, and
// for the alpha path the blend over a work buffer of Width x Height pixels,
// whose fourth bytes the blend must leave alone.
void ViewAfterLoad(const PngImage& image);

}  // namespace fuzz
