#include "bench/timing.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "png/format.h"

double NowSeconds()
{
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

bool LoadPicture(const std::string& path, Picture& picture)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    std::vector<uint8_t> bytes;
    uint8_t block[65536];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, file)) > 0)
        bytes.insert(bytes.end(), block, block + n);
    std::fclose(file);
    if (bytes.size() < 8 + 8 + 13 || !std::equal(kPngSignature.begin(), kPngSignature.end(), bytes.begin()))
        return false;
    picture.Name = std::filesystem::path(path).stem().string();
    picture.Width = ReadBigEndian32(bytes.data() + 16);
    picture.Height = ReadBigEndian32(bytes.data() + 20);
    picture.Bytes = std::move(bytes);
    return true;
}

std::vector<Picture> LoadPictures(const std::string& folder)
{
    std::vector<std::string> paths;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (entry.path().extension() == ".png")
            paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    std::vector<Picture> pictures;
    for (const std::string& path : paths) {
        Picture picture;
        if (LoadPicture(path, picture))
            pictures.push_back(std::move(picture));
    }
    return pictures;
}

namespace {

// One warm-up decode per pair: proves the decoder takes the picture, warms
// the caches and the allocator, and sizes the repetitions of a sample.
std::vector<std::vector<int>> Calibrate(std::span<const Picture> pictures, std::span<const Decoder> decoders,
                                        const TimingPlan& plan)
{
    std::vector<std::vector<int>> repetitions(pictures.size(), std::vector<int>(decoders.size(), 0));
    for (size_t p = 0; p < pictures.size(); ++p)
        for (size_t d = 0; d < decoders.size(); ++d) {
            double start = NowSeconds();
            if (!decoders[d].Decode(pictures[p].Bytes).Ok)
                continue;
            double once = std::max(NowSeconds() - start, 1e-7);
            repetitions[p][d] = static_cast<int>(std::clamp(std::ceil(plan.SecondsPerSample / once), 1.0, 100000.0));
        }
    return repetitions;
}

double TimeSample(const Picture& picture, const Decoder& decoder, int repetitions)
{
    double start = NowSeconds();
    for (int i = 0; i < repetitions; ++i)
        decoder.Decode(picture.Bytes);
    return (NowSeconds() - start) / repetitions;
}

}  // namespace

TimingTable TimeDecoders(std::span<const Picture> pictures, std::span<const Decoder> decoders,
                         const TimingPlan& plan)
{
    std::vector<std::vector<int>> repetitions = Calibrate(pictures, decoders, plan);
    std::vector<std::vector<std::vector<double>>> samples(pictures.size(),
                                                          std::vector<std::vector<double>>(decoders.size()));
    for (int round = 0; round < plan.Rounds; ++round)
        for (size_t p = 0; p < pictures.size(); ++p)
            for (size_t k = 0; k < decoders.size(); ++k) {
                size_t d = (k + static_cast<size_t>(round)) % decoders.size();
                if (repetitions[p][d] > 0)
                    samples[p][d].push_back(TimeSample(pictures[p], decoders[d], repetitions[p][d]));
            }
    TimingTable table(pictures.size(), std::vector<double>(decoders.size(), -1));
    for (size_t p = 0; p < pictures.size(); ++p)
        for (size_t d = 0; d < decoders.size(); ++d)
            table[p][d] = Median(samples[p][d]);
    return table;
}

void PrintRateLines(std::span<const Picture> pictures, const TimingTable& times)
{
    for (size_t p = 0; p < pictures.size(); ++p) {
        const auto rate = [&](size_t d) { return times[p][d] > 0 ? pictures[p].Megapixels() / times[p][d] : -1.0; };
        std::printf("%s %.2f %.2f\n", pictures[p].Name.c_str(), rate(0), rate(1));
    }
}
