// Heap use of the whole process, counted by wrapping the C allocator (and
// operator new, which the benchmark routes through it). Lets the benchmark
// measure how much memory one decode needs beyond the pixels it returns,
// for our decoder and for the peers alike, since shared libraries allocate
// through the same malloc.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Bytes currently allocated and the highest value since the last reset.
size_t HeapCurrentBytes(void);
size_t HeapPeakBytes(void);
// Starts a new peak at the current level.
void HeapResetPeak(void);

#ifdef __cplusplus
}
#endif
