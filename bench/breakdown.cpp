#include "bench/breakdown.h"

#include <cstdio>

#include "png/image.h"

namespace {

volatile uint32_t crcSink;

// Our CRC-32 over all the image data, median of the rounds.
double CrcSeconds(const std::vector<uint8_t>& data, int rounds)
{
    std::vector<double> samples;
    for (int round = 0; round < rounds; ++round) {
        double start = NowSeconds();
        crcSink = UpdateCrc(0xFFFFFFFFu, data.data(), data.size());
        samples.push_back(NowSeconds() - start);
    }
    return Median(samples);
}

void PrintShare(double part, double whole)
{
    if (part > 0 && whole > 0)
        std::printf("%9.0f%%", part / whole * 100);
    else
        std::printf("%10s", "-");
}

}  // namespace

void PrintBreakdown(std::span<const Picture> pictures, std::span<const double> ourSeconds,
                    std::span<const double> inflateSeconds, int rounds)
{
    std::printf("\n== where our time goes: shares of our decode time; rows by filter type\n");
    std::printf("%-16s%10s%10s%10s%10s |%7s%7s%7s%7s%7s\n", "picture", "ours ms", "inflate", "CRC-32", "rest",
                "None", "Sub", "Up", "Avg", "Paeth");
    for (size_t p = 0; p < pictures.size(); ++p) {
        double crc = CrcSeconds(ImageDataBytes(pictures[p].Bytes), rounds);
        double ours = ourSeconds[p];
        std::printf("%-16s%10.1f", pictures[p].Name.c_str(), ours * 1e3);
        PrintShare(inflateSeconds[p], ours);
        PrintShare(crc, ours);
        PrintShare(ours - inflateSeconds[p] - crc, ours);
        FilterCounts counts = CountFilterTypes(pictures[p].Bytes);
        uint64_t rows = 0;
        for (uint64_t n : counts)
            rows += n;
        std::printf(" |");
        for (size_t type = 0; type < 5; ++type)
            std::printf("%6.0f%%", rows ? double(counts[type]) / double(rows) * 100 : 0.0);
        std::printf("\n");
    }
    std::printf("(CRC-32 timed alone over the same bytes; rest: filters, converters, framing, allocation)\n");
}
