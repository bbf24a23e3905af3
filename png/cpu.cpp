#include "png/cpu.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

#if defined(__i386__) || defined(__x86_64__)
constexpr uint32_t kMmxBit = 1u << 23;
constexpr uint32_t kSseBit = 1u << 25;
constexpr uint32_t kSse2Bit = 1u << 26;
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
