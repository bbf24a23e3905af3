// The processor test that picks the faster form of the Up filter. The choice
// never changes the decoded bytes, only how fast they come out.
#pragma once

#include <cstdint>

// 0: no CPUID instruction; 1: CPUID but no MMX; 2: MMX; 3: MMX and SSE;
// 4: MMX, SSE and SSE2. The feature tests stop at the first missing one.
// Processors other than x86 answer 0.
int32_t ProcessorLevel();

// Process-wide, computed once on first use and then only read: true when the
// processor has packed byte addition (level 2 or more).
bool WideArithmetic();
