// The byte formats' pixels and the loops that place them, shared by the
// scalar converters (converters.cpp) and the faster forms chosen per picture
// (converters_choose.cpp). Internal to the converters.
#pragma once

#include <cstdint>

#include "png/rows/converters.h"
#include "png/format.h"

namespace convert {

using Gamma = const uint8_t*;

// Formats whose destination pixel is whole bytes: how one source pixel
// becomes one pixel-row entry (blue, green, red) and its alpha byte. Alpha is
// never gamma-mapped; 16-bit samples are big-endian, so byte 0 of a sample is
// the high byte kept and the low byte is dropped without rounding.
struct Rgba8 {
    static constexpr int kSource = 4, kTarget = 3;
    static constexpr bool kAlpha = true;
    static void Put(const uint8_t* s, uint8_t* p, uint8_t* a, Gamma g)
    {
        p[0] = g[s[2]], p[1] = g[s[1]], p[2] = g[s[0]];
        *a = s[3];
    }
};

struct Rgba16 {
    static constexpr int kSource = 8, kTarget = 3;
    static constexpr bool kAlpha = true;
    static void Put(const uint8_t* s, uint8_t* p, uint8_t* a, Gamma g)
    {
        p[0] = g[s[4]], p[1] = g[s[2]], p[2] = g[s[0]];
        *a = s[6];
    }
};

struct Rgb8 {
    static constexpr int kSource = 3, kTarget = 3;
    static constexpr bool kAlpha = false;
    static void Put(const uint8_t* s, uint8_t* p, uint8_t*, Gamma g) { p[0] = g[s[2]], p[1] = g[s[1]], p[2] = g[s[0]]; }
};

// The non-interlaced 8-bit truecolour rows are copied without the gamma
// table, unlike every other truecolour form; with no "gAMA" chunk the table
// is the identity and the two agree.
struct Rgb8Ungamma {
    static constexpr int kSource = 3, kTarget = 3;
    static constexpr bool kAlpha = false;
    static void Put(const uint8_t* s, uint8_t* p, uint8_t*, Gamma) { p[0] = s[2], p[1] = s[1], p[2] = s[0]; }
};

struct Rgb16 {
    static constexpr int kSource = 6, kTarget = 3;
    static constexpr bool kAlpha = false;
    static void Put(const uint8_t* s, uint8_t* p, uint8_t*, Gamma g) { p[0] = g[s[4]], p[1] = g[s[2]], p[2] = g[s[0]]; }
};

// The truecolour formats without the table lookups, for pictures whose
// table is the identity: the same bytes, fewer loads.
struct Rgba8Direct {
    static constexpr int kSource = 4, kTarget = 3;
    static constexpr bool kAlpha = true;
    static void Put(const uint8_t* s, uint8_t* p, uint8_t* a, Gamma)
    {
        p[0] = s[2], p[1] = s[1], p[2] = s[0];
        *a = s[3];
    }
};

struct Rgba16Direct {
    static constexpr int kSource = 8, kTarget = 3;
    static constexpr bool kAlpha = true;
    static void Put(const uint8_t* s, uint8_t* p, uint8_t* a, Gamma)
    {
        p[0] = s[4], p[1] = s[2], p[2] = s[0];
        *a = s[6];
    }
};

struct Rgb16Direct {
    static constexpr int kSource = 6, kTarget = 3;
    static constexpr bool kAlpha = false;
    static void Put(const uint8_t* s, uint8_t* p, uint8_t*, Gamma) { p[0] = s[4], p[1] = s[2], p[2] = s[0]; }
};

// Grey levels are indices into the grey ramp, which carries the gamma
// correction already: no table lookup here.
struct GreyAlpha8 {
    static constexpr int kSource = 2, kTarget = 1;
    static constexpr bool kAlpha = true;
    static void Put(const uint8_t* s, uint8_t* p, uint8_t* a, Gamma) { *p = s[0], *a = s[1]; }
};

struct GreyAlpha16 {
    static constexpr int kSource = 4, kTarget = 1;
    static constexpr bool kAlpha = true;
    static void Put(const uint8_t* s, uint8_t* p, uint8_t* a, Gamma) { *p = s[0], *a = s[2]; }
};

struct Grey16 {
    static constexpr int kSource = 2, kTarget = 1;
    static constexpr bool kAlpha = false;
    static void Put(const uint8_t* s, uint8_t* p, uint8_t*, Gamma) { *p = s[0]; }
};

struct Grey8 {
    static constexpr int kSource = 1, kTarget = 1;
    static constexpr bool kAlpha = false;
    static void Put(const uint8_t* s, uint8_t* p, uint8_t*, Gamma) { *p = s[0]; }
};

// Plain family: source pixel k * 2^s to column k, for k below W'.
template <typename F>
void PlainPixels(const ConvertParams& c, const uint8_t* row, uint8_t* pixels, uint8_t* alpha)
{
    const int64_t stride = int64_t{F::kSource} << c.ReductionShift;
    const Gamma gamma = c.GammaTable;
    for (int32_t k = 0; k < c.DecodeWidth; ++k) {
        F::Put(row, pixels, alpha, gamma);
        row += stride;
        pixels += F::kTarget;
        if constexpr (F::kAlpha)
            ++alpha;
    }
}

// Interlaced family: pass pixel k goes to reduced column First + k * Step.
struct Placement {
    int64_t First = 0;
    int64_t Step = 0;
    int64_t Count = 0;
};

inline Placement PlaceInPass(const ConvertParams& c, int32_t pass)
{
    Placement place;
    if (pass < 0 || pass >= static_cast<int32_t>(kAdam7Passes.size()))
        return place;
    const Adam7Pass& p = kAdam7Passes[pass];
    place.First = p.StartColumn >> c.ReductionShift;
    place.Step = p.ColumnIncrement >> c.ReductionShift;
    // A pass whose increment is below 2^s is never decoded at this shift.
    if (place.Step == 0 || place.First >= c.DecodeWidth)
        return place;
    place.Count = (c.DecodeWidth - place.First + place.Step - 1) / place.Step;
    if (place.Count > c.SourceWidth)
        place.Count = c.SourceWidth;
    return place;
}

template <typename F>
void InterlacedPixels(const ConvertParams& c, int32_t pass, const uint8_t* row, uint8_t* pixels, uint8_t* alpha)
{
    const Placement place = PlaceInPass(c, pass);
    const Gamma gamma = c.GammaTable;
    int64_t x = place.First;
    for (int64_t k = 0; k < place.Count; ++k, x += place.Step) {
        F::Put(row, pixels + x * F::kTarget, F::kAlpha ? alpha + x : alpha, gamma);
        row += F::kSource;
    }
}

}  // namespace convert
