#include "bench/blend_bench.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/blend_scalar.h"
#include "bench/timing.h"
#include "png/image.h"
#include "winlayer/base/memory_stream.h"

namespace {

using BlendFunction = void (*)(uint8_t* work, const BlendSource& source);

void BlendKernel(uint8_t* work, const BlendSource& source) { BlendRows(work, source); }

// A destination with every byte value in every channel, as a busy screen has.
std::vector<uint8_t> MakeDestination(const BlendSource& source)
{
    std::vector<uint8_t> work(size_t(source.Width) * size_t(source.Height) * 4);
    uint32_t state = 12345;
    for (uint8_t& byte : work) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 16);
    }
    return work;
}

// Each call starts from the same destination (copied outside the timed
// part): a kernel that skips clear or opaque pixels sees the same mix every time.
double TimeBlend(BlendFunction blend, const BlendSource& source, const std::vector<uint8_t>& destination,
                 std::vector<uint8_t>& work)
{
    std::memcpy(work.data(), destination.data(), work.size());
    double start = NowSeconds();
    blend(work.data(), source);
    return NowSeconds() - start;
}

void Report(const BlendSource& source, const std::vector<uint8_t>& destination, int rounds)
{
    std::vector<uint8_t> kernelWork(destination.size()), scalarWork(destination.size());
    std::vector<double> kernelTimes, scalarTimes;
    for (int round = 0; round < rounds; ++round) {
        kernelTimes.push_back(TimeBlend(BlendKernel, source, destination, kernelWork));
        scalarTimes.push_back(TimeBlend(BlendRowsScalar, source, destination, scalarWork));
    }
    double megapixels = double(source.Width) * double(source.Height) / 1e6;
    double kernel = megapixels / Median(kernelTimes), scalar = megapixels / Median(scalarTimes);
    bool same = kernelWork == scalarWork;
    std::printf("\n== blend, %dx%d RGBA over a 32-bit destination, megapixels per second\n", source.Width,
                source.Height);
    std::printf("%-16s%11s%11s%11s\n", "", "BlendRows", "scalar", "ratio");
    std::printf("%-16s%11.1f%11.1f%10.2fx   %s\n", "rgba8", kernel, scalar, kernel / scalar,
                same ? "(same bytes)" : "(OUTPUTS DIFFER)");
}

}  // namespace

void PrintBlendRate(const std::string& rgbaPicturePath, int rounds)
{
    Picture picture;
    PngImage* image = Create<PngImage>();
    MemoryStream* stream = nullptr;
    if (LoadPicture(rgbaPicturePath, picture)) {
        stream = OpenMemoryStream(picture.Bytes.data(), picture.Bytes.size());
        image->LoadFromStream(*stream);
    }
    BlendSource source = BlendSourceOf(*image);
    if (source.BitCount == 24 && source.AlphaPlane && source.Width > 0 && source.Height > 0)
        Report(source, MakeDestination(source), rounds);
    else
        std::printf("\n== blend: %s did not decode to 24 bits with alpha\n", rgbaPicturePath.c_str());
    Release(stream);
    Release(image);
}
