// Peak heap of one decode beyond the pixel buffers the decoder returns:
// input buffers, row buffers, inflate state, whole-image scratch copies.
// Measured with the counting allocator, for every decoder alike.
#include "bench/memory.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "bench/heap_count.h"

namespace {

// Negative when the decoder refused the picture.
double ExcessKilobytes(const Picture& picture, const Decoder& decoder)
{
    HeapResetPeak();
    size_t before = HeapCurrentBytes();
    DecodeOutcome outcome = decoder.Decode(picture.Bytes);
    if (!outcome.Ok)
        return -1;
    size_t peak = HeapPeakBytes() - before;
    size_t excess = peak > outcome.OutputBytes ? peak - outcome.OutputBytes : 0;
    return double(excess) / 1024;
}

}  // namespace

void PrintPeakHeap(std::span<const Picture> pictures, std::span<const Decoder> decoders)
{
    std::printf("\n== peak heap of one decode beyond the returned pixel buffers, KB\n");
    std::printf("%-16s%12s", "picture", "pixels KB");
    for (const Decoder& decoder : decoders)
        std::printf("%11s", decoder.Name);
    std::printf("\n");
    for (const Picture& picture : pictures) {
        size_t pixels = decoders[0].Decode(picture.Bytes).OutputBytes;
        std::printf("%-16s%12.0f", picture.Name.c_str(), double(pixels) / 1024);
        for (const Decoder& decoder : decoders) {
            double kilobytes = ExcessKilobytes(picture, decoder);
            if (kilobytes < 0)
                std::printf("%11s", "fail");
            else
                std::printf("%11.1f", kilobytes);
        }
        std::printf("\n");
    }
    std::printf("(pixels KB: our pixel buffer plus alpha plane; peers return their own layouts)\n");
}

void PrintLargestHeap(const char* title, std::span<const Picture> pictures, std::span<const Decoder> decoders)
{
    std::printf("%-28s", (std::string(title) + ", largest").c_str());
    for (const Decoder& decoder : decoders) {
        double largest = -1;
        for (const Picture& picture : pictures)
            largest = std::max(largest, ExcessKilobytes(picture, decoder));
        std::printf("%11.1f", largest);
    }
    std::printf("  (%zu pictures)\n", pictures.size());
}
