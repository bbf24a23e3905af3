#include "png/cpu.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

#if defined(__i386__) || defined(__x86_64__)
constexpr uint32_t kMmxBit = 1u << 23;
constexpr uint32_t kSseBit = 1u << 25;
constexpr uint32_t kSse2Bit = 1u << 26;
// CPUID function 1, ECX.
constexpr uint32_t kPclmulBit = 1u << 1;
constexpr uint32_t kSsse3Bit = 1u << 9;
constexpr uint32_t kSse41Bit = 1u << 19;
constexpr uint32_t kOsxsaveBit = 1u << 27;
constexpr uint32_t kAvxBit = 1u << 28;
// CPUID function 7, EBX.
constexpr uint32_t kAvx2Bit = 1u << 5;
// XCR0: the system saves the SSE (bit 1) and AVX (bit 2) register state.
constexpr uint32_t kSseAvxState = 6;

// xgetbv by its encoding, so that no function needs the xsave target.
uint32_t SavedRegisterState()
{
    uint32_t eax = 0, edx = 0;
    __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(eax), "=d"(edx) : "c"(0));
    return eax;
}

ProcessorFeatures TestFeatures()
{
    ProcessorFeatures features;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (ProcessorLevel() < 4 || !__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return features;
    features.Sse2 = true;
    features.Ssse3 = (ecx & kSsse3Bit) != 0;
    features.Sse41 = features.Ssse3 && (ecx & kSse41Bit) != 0;
    features.Pclmul = (ecx & kPclmulBit) != 0;
    const bool avx = (ecx & kOsxsaveBit) && (ecx & kAvxBit) && (SavedRegisterState() & kSseAvxState) == kSseAvxState;
    unsigned ebx7 = 0;
    if (avx && __get_cpuid_max(0, nullptr) >= 7) {
        __cpuid_count(7, 0, eax, ebx7, ecx, edx);
        features.Avx2 = features.Sse41 && (ebx7 & kAvx2Bit) != 0;
    }
    return features;
}
#else
ProcessorFeatures TestFeatures() { return {}; }
#endif

}  // namespace

int32_t ProcessorLevel()
{
#if defined(__i386__) || defined(__x86_64__)
    // On i386 this also performs the EFLAGS.ID toggle test: 0 means the
    // instruction itself is missing.
    if (__get_cpuid_max(0, nullptr) == 0)
        return 0;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || (edx & kMmxBit) == 0)
        return 1;
    if ((edx & kSseBit) == 0)
        return 2;
    return (edx & kSse2Bit) == 0 ? 3 : 4;
#else
    return 0;
#endif
}

bool WideArithmetic()
{
    // Written once, before the first row is filtered; a thread-safe static,
    // so a second thread decoding at start-up cannot see it half made.
    static const bool wide = ProcessorLevel() >= 2;
    return wide;
}

const ProcessorFeatures& Features()
{
    static const ProcessorFeatures features = TestFeatures();
    return features;
}
