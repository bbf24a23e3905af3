// The converters chosen per picture for speed: vector kernels where the
// processor and format have them, else the scalar loops without table
// lookups when the gamma table is the identity, else the converters of
// converters.cpp. All give the same bytes.
#include "png/rows/converters_kernels.h"
#include "png/rows/converters_choose.h"

namespace {

using namespace convert;

// Colour types 2 and 6 at depths 8 and 16: the scalar twins without lookups.
// The plain truecolour 8 converter has none to drop.
PlainConverter DirectPlain(uint8_t colorType, uint8_t bitDepth)
{
    if (colorType == 6)
        return bitDepth == 8 ? PlainPixels<Rgba8Direct> : bitDepth == 16 ? PlainPixels<Rgba16Direct> : nullptr;
    if (colorType == 2 && bitDepth == 16)
        return PlainPixels<Rgb16Direct>;
    return nullptr;
}

InterlacedConverter DirectInterlaced(uint8_t colorType, uint8_t bitDepth)
{
    if (colorType == 6)
        return bitDepth == 8 ? InterlacedPixels<Rgba8Direct> : bitDepth == 16 ? InterlacedPixels<Rgba16Direct> : nullptr;
    if (colorType == 2)
        return bitDepth == 8 ? InterlacedPixels<Rgb8Ungamma> : bitDepth == 16 ? InterlacedPixels<Rgb16Direct> : nullptr;
    return nullptr;
}

}  // namespace

bool IsIdentityTable(const uint8_t* table)
{
    for (int i = 0; i < 256; ++i)
        if (table[i] != i)
            return false;
    return true;
}

PlainConverter ChooseFastPlainConverter(uint8_t colorType, uint8_t bitDepth, int32_t shift,
                                        const ProcessorFeatures& features, bool identityGamma)
{
#if defined(__i386__) || defined(__x86_64__)
    if (shift == 0)
        if (PlainConverter vector = ChooseVectorPlainConverter(colorType, bitDepth, features, identityGamma))
            return vector;
#else
    (void)features;
#endif
    if (identityGamma)
        if (PlainConverter direct = DirectPlain(colorType, bitDepth))
            return direct;
    return ChoosePlainConverter(colorType, bitDepth, shift);
}

InterlacedConverter ChooseFastInterlacedConverter(uint8_t colorType, uint8_t bitDepth,
                                                  const ProcessorFeatures& features, bool identityGamma)
{
#if defined(__i386__) || defined(__x86_64__)
    if (InterlacedConverter vector = ChooseVectorInterlacedConverter(colorType, bitDepth, features, identityGamma))
        return vector;
#else
    (void)features;
#endif
    if (identityGamma)
        if (InterlacedConverter direct = DirectInterlaced(colorType, bitDepth))
            return direct;
    return ChooseInterlacedConverter(colorType, bitDepth);
}
