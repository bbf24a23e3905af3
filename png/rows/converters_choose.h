// The faster converter forms: kernels that move many pixels per step for
// dense rows (no reduction) when no gamma lookup is needed, because the
// format has none or the picture's table is the identity. Each gives the
// bytes of its scalar twin in converters.cpp.
#pragma once

#include <cstdint>

#include "png/rows/converters.h"
#include "png/cpu.h"

// True when table[i] == i for all 256 entries: the gamma lookups can go.
bool IsIdentityTable(const uint8_t* table);

#if defined(__i386__) || defined(__x86_64__)
// Vector converters (converters_x86.cpp) for this format, or none when the
// processor or the format has none: SSE2 for grey 16 and grey-alpha, SSSE3
// byte shuffles for truecolour, which also need gammaFree (an identity
// table; the plain truecolour 8 converter never maps). Plain ones are for
// reduction shift 0 only; the interlaced ones take pass 6 (dense, every
// column, when not reduced) by the kernel and other passes by the scalar loop.
PlainConverter ChooseVectorPlainConverter(uint8_t colorType, uint8_t bitDepth, const ProcessorFeatures& features,
                                          bool gammaFree);
InterlacedConverter ChooseVectorInterlacedConverter(uint8_t colorType, uint8_t bitDepth,
                                                    const ProcessorFeatures& features, bool gammaFree);
#endif
