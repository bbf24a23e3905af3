#include "bench/verify.h"

#include <spng.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "winlayer/base/memory_stream.h"
#include "png/image.h"

namespace {

using Rgba = std::array<uint8_t, 4>;

std::vector<uint8_t> DecodeReference(const Picture& picture)
{
    std::vector<uint8_t> pixels;
    spng_ctx* context = spng_ctx_new(0);
    size_t bytes = 0;
    if (context && spng_set_png_buffer(context, picture.Bytes.data(), picture.Bytes.size()) == 0 &&
        spng_decoded_image_size(context, SPNG_FMT_RGBA8, &bytes) == 0) {
        pixels.resize(bytes);
        if (spng_decode_image(context, pixels.data(), bytes, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0)
            pixels.clear();
    }
    spng_ctx_free(context);
    return pixels;
}

// Pixel (x, y) of our buffers, through the colour table for indexed ones.
Rgba OurPixel(const PngImage& image, const PngHeaderChunk& header, int32_t x, int32_t y)
{
    const uint8_t* row = header.Pixels + size_t(header.BytesPerRow) * size_t(image.Height() - 1 - y);
    uint16_t bits = header.BitCount();
    uint8_t alpha = header.AlphaPlane ? header.AlphaPlane[size_t(y) * size_t(image.Width()) + size_t(x)] : 255;
    if (bits == 24)
        return {row[3 * x + 2], row[3 * x + 1], row[3 * x], alpha};
    int perByte = 8 / bits;
    int shift = 8 - bits * (x % perByte + 1);
    uint8_t index = static_cast<uint8_t>((row[x / perByte] >> shift) & ((1 << bits) - 1));
    const auto& entry = header.Info.Colors[index];
    if (!header.AlphaPlane)
        if (const auto* trns = image.Find<PngTransparencyChunk>("tRNS"); trns && header.Format().Type == ColorType::Palette)
            alpha = trns->Alpha[index];
    return {entry[2], entry[1], entry[0], alpha};
}

// Largest channel difference, or -1 when ours did not decode.
int Compare(const Picture& picture, const std::vector<uint8_t>& reference)
{
    PngImage* image = Create<PngImage>();
    MemoryStream* stream = OpenMemoryStream(picture.Bytes.data(), picture.Bytes.size());
    int worst = -1;
    if (image->LoadFromStream(*stream) && image->Status == PngStatus::Ok && image->Header()->Pixels &&
        reference.size() == size_t(image->Width()) * size_t(image->Height()) * 4) {
        worst = 0;
        for (int32_t y = 0; y < image->Height(); ++y)
            for (int32_t x = 0; x < image->Width(); ++x) {
                Rgba ours = OurPixel(*image, *image->Header(), x, y);
                const uint8_t* theirs = &reference[(size_t(y) * size_t(image->Width()) + size_t(x)) * 4];
                for (int c = 0; c < 4; ++c)
                    worst = std::max(worst, std::abs(int(ours[c]) - int(theirs[c])));
            }
    }
    Release(stream);
    Release(image);
    return worst;
}

}  // namespace

bool VerifyGroup(const std::string& title, std::span<const Picture> pictures, int maxDifference)
{
    int matched = 0, worst = 0;
    std::string failures;
    for (const Picture& picture : pictures) {
        int difference = Compare(picture, DecodeReference(picture));
        worst = std::max(worst, difference);
        if (difference >= 0 && difference <= maxDifference)
            ++matched;
        else
            failures += " " + picture.Name +
                        (difference < 0 ? "(fail)" : "(off by " + std::to_string(difference) + ")");
    }
    std::printf("check %-12s ours equals libspng on %d of %zu pictures (largest channel difference %d)%s\n",
                title.c_str(), matched, pictures.size(), worst, failures.empty() ? "" : ":");
    if (!failures.empty())
        std::printf("  differ:%s\n", failures.c_str());
    return failures.empty();
}
