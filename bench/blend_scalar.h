// The reference the blend kernel is measured against: one pixel at a time,
// BlendChannel per channel, built without auto-vectorisation so that it
// stays the scalar baseline whatever the compiler would do with it.
#pragma once

#include "png/render/blend.h"

// 24-bit pixels with an alpha plane only (colour type 6).
void BlendRowsScalar(uint8_t* work, const BlendSource& source);
