// The gamma chunk (PNG standard, section 11.3.3.2) and the table it builds:
// every 8-bit sample corrected for the file gamma and a display gamma of 2.2.
#include <array>
#include <atomic>
#include <cmath>

#include "png/image.h"

namespace {

constexpr long double kDisplayGamma = 2.2L;

// Rounds to nearest with halves to even, the processor's default mode, in
// extended precision so that the table does not depend on the compiler.
uint8_t CorrectedSample(int i, uint32_t gamma)
{
    long double x = i / 255.0L;
    long double e = 1.0L / ((gamma / 100000.0L) * kDisplayGamma);
    long double power = 1.0L;
    if (e != 0.0L)
        power = x == 0.0L ? 0.0L : std::exp(e * std::log(x));
    long double v = std::nearbyint(power * 255.0L);
    return static_cast<uint8_t>(v > 255.0L ? 255 : v);
}

using Table = std::array<uint8_t, 256>;

// The table of the last gamma value built, so that a run of files with the
// same "gAMA" (most carry 45455) pays for the 256 logarithms and powers once.
// One for the process, behind a flag that is only ever tried: a thread that
// finds it taken builds its own table rather than wait. (Per-thread storage
// would cost the library's DLL a TLS index that nothing gives back when a host
// unloads it, so that a host loading it some thousand times would run out.)
struct CachedTable {
    std::atomic_flag Busy;
    bool Valid = false;
    uint32_t Gamma = 0;
    Table Samples{};
};

CachedTable cache;

Table CorrectedTable(uint32_t gamma)
{
    Table table;
    if (!cache.Busy.test_and_set(std::memory_order_acquire)) {
        const bool found = cache.Valid && cache.Gamma == gamma;
        if (found)
            table = cache.Samples;
        cache.Busy.clear(std::memory_order_release);
        if (found)
            return table;
    }
    for (int i = 0; i < 256; ++i)
        table[i] = CorrectedSample(i, gamma);
    if (!cache.Busy.test_and_set(std::memory_order_acquire)) {
        cache.Samples = table;
        cache.Gamma = gamma;
        cache.Valid = true;
        cache.Busy.clear(std::memory_order_release);
    }
    return table;
}

}  // namespace

void PngGammaChunk::Init()
{
    PngChunk::Init();
    if (Data)
        SetGamma(1);
}

uint32_t PngGammaChunk::GetGamma()
{
    if (DataSize != 4) {
        // Stored back, so that later reads agree with this one.
        SetGamma(1);
        return 1;
    }
    return ReadBigEndian32(Data);
}

bool PngGammaChunk::SetGamma(uint32_t value)
{
    if (!SetDataSize(4))
        return false;
    Data[0] = static_cast<uint8_t>(value >> 24);
    Data[1] = static_cast<uint8_t>(value >> 16);
    Data[2] = static_cast<uint8_t>(value >> 8);
    Data[3] = static_cast<uint8_t>(value);
    return true;
}

bool PngGammaChunk::Load(FileStream& stream, uint32_t length)
{
    if (!ReadChunkData(stream, length))
        return false;
    uint32_t gamma = GetGamma();
    if (gamma == 0)
        return true;
    Owner->GammaTable = CorrectedTable(gamma);
    return true;
}
