// Row converters: one restored row of PNG samples into a row of the header
// chunk's pixel buffer (device-independent bitmap layout: blue, green, red;
// packed samples leftmost in the top bits) and, for colour types 4 and 6,
// of its alpha plane. 16-bit samples keep their high byte, 2-bit samples
// widen to 4 bits, truecolour samples go through the gamma table. One
// converter is chosen per picture; none of them branches on the format.
#pragma once

#include <array>
#include <cstdint>

#include "png/format.h"

struct ProcessorFeatures;

// What a converter reads besides the row; the row loops fill it once per
// picture (RowLength and SourceWidth once per Adam7 pass).
struct ConvertParams {
    int32_t DecodeWidth = 0;     // W': no pixel at or beyond this column is written
    int32_t ReductionShift = 0;  // s: the picture is decoded at 1 / 2^s of its size
    int32_t RowLength = 0;       // bytes of the source row
    int32_t SourceWidth = 0;     // pixels of the source row (the pass width for Adam7)
    const uint8_t* GammaTable = nullptr;  // 256 entries
};

// row starts just after the filter byte; pixelRow and alphaRow at the start
// of their destination rows. alphaRow is not touched for formats without
// alpha and may then be null.
using PlainConverter = void (*)(const ConvertParams& params, const uint8_t* row, uint8_t* pixelRow, uint8_t* alphaRow);
using InterlacedConverter = void (*)(const ConvertParams& params, int32_t pass, const uint8_t* row, uint8_t* pixelRow,
                                     uint8_t* alphaRow);

// Null for the pairs DescribePixelFormat calls invalid (palette depth 16 is
// converted as grey 16). The plain converter also depends
// on the reduction shift s: source pixel k * 2^s goes to column k.
PlainConverter ChoosePlainConverter(uint8_t colorType, uint8_t bitDepth, int32_t shift);
InterlacedConverter ChooseInterlacedConverter(uint8_t colorType, uint8_t bitDepth);

// The fastest converters for this processor and picture, the same bytes as
// the two above: vector kernels for byte formats at full size, and no table
// lookups when identityGamma says GammaTable is the identity.
PlainConverter ChooseFastPlainConverter(uint8_t colorType, uint8_t bitDepth, int32_t shift,
                                        const ProcessorFeatures& features, bool identityGamma);
InterlacedConverter ChooseFastInterlacedConverter(uint8_t colorType, uint8_t bitDepth,
                                                  const ProcessorFeatures& features, bool identityGamma);

// Bytes from the start of a pixel row that the converter of this picture may
// write: whole source bytes for the full-size packed converters of the plain
// family, else the W' pixels at the format's BitmapBits (the bits per pixel
// of the buffer every converter writes).
int64_t PixelRowSpan(const PixelFormat& format, bool interlaced, const ConvertParams& params);

// The process-wide 2-bit expansion table, built on first use: entry i, for a
// byte of four 2-bit samples i0 (top bits) to i3, is the byte i0 * 16 + i1
// followed by the byte i2 * 16 + i3.
const std::array<std::array<uint8_t, 2>, 256>& TwoBitExpansion();
