// The processor tests that pick the faster forms of the filters, converters,
// CRC-32 and blend. The choice never changes the decoded bytes, only how fast
// they come out.
#pragma once

#include <cstdint>

// 0: no CPUID instruction; 1: CPUID but no MMX; 2: MMX; 3: MMX and SSE;
// 4: MMX, SSE and SSE2. The feature tests stop at the first missing one.
// Processors other than x86 answer 0.
int32_t ProcessorLevel();

// Process-wide, computed once on first use and then only read: true when the
// processor has packed byte addition (level 2 or more).
bool WideArithmetic();

// The vector extensions the wide forms are written for. Avx2 also needs the
// operating system to save the 256-bit registers, which it checks.
struct ProcessorFeatures {
    bool Sse2 = false;
    bool Ssse3 = false;
    bool Sse41 = false;
    bool Avx2 = false;
    bool Pclmul = false;
};

// Tested once per process (a thread-safe static), then only read.
const ProcessorFeatures& Features();
