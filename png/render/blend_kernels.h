// What the blend's row kernels share (blend.cpp, blend_x86.cpp): the palette
// resolved once per call and the row kernel signature. Internal to the blend.
#pragma once

#include <array>
#include <cstdint>

#include "png/cpu.h"

// Colour and alpha of every index, black beyond the palette and opaque
// beyond the transparency table (PNG standard, section 11.3.2.1: entries the
// tRNS chunk omits are opaque). Four bytes, so a vector kernel loads an
// entry whole.
struct PaletteEntry {
    uint8_t Blue, Green, Red, Alpha;
};
static_assert(sizeof(PaletteEntry) == 4, "one 32-bit load per entry");
using PaletteTable = std::array<PaletteEntry, 256>;

// One row of one case. alpha is the AlphaPlane row (none for palettes).
using RowKernel = void (*)(uint8_t* work, const uint8_t* pixels, const uint8_t* alpha, int32_t width,
                           const PaletteTable& palette);

#if defined(__i386__) || defined(__x86_64__)
// The vector kernel for the 24-bit, 8-bit grey and 8-bit palette cases, or
// none where the processor lacks SSSE3 or the case has none. The same bytes
// as the scalar kernels: the exact formula in 16-bit lanes, where
// s * a + (255 - a) * d + 255 never exceeds 65280.
RowKernel ChooseVectorBlendKernel(uint16_t bitCount, bool greyAlpha, const ProcessorFeatures& features);
#endif
