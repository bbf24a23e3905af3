// The decoded picture read back as rows of red, green, blue and alpha bytes,
// the form the decoding tool writes and the differential tests compare.
#pragma once

#include <cstdint>

#include "png/image.h"

// Writes picture row y (0 = top) of the reduced size as ReducedWidth
// quadruples R, G, B, A into out. Colour: 24-bit pixels as stored; indices
// through the colour table, except grey with alpha, whose index is the raw
// grey level. Alpha: the alpha plane for colour types 4 and 6, the "tRNS"
// entry of the index for palette pictures drawn with the blend, else 255.
// False (out untouched) when the image has no pixel buffer or y is outside.
bool ReadRgbaRow(const PngImage& image, int32_t y, uint8_t* out);
