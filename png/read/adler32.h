// Adler-32 (RFC 1950, section 8), the check value at the end of the zlib
// stream of the image data. The reader computes it itself (zlib's own check
// turned off) so that a vector form can do it; the value is zlib's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "png/cpu.h"

// adler starts at 1. The fastest form for this processor.
uint32_t UpdateAdler(uint32_t adler, const uint8_t* bytes, size_t count);

// The same with the forms these features allow; none: zlib's adler32.
uint32_t UpdateAdler(uint32_t adler, const uint8_t* bytes, size_t count, const ProcessorFeatures& features);
