// glibc exports its allocator under __libc_* names as well, so the family
// can be wrapped here without dlsym (which would itself allocate). Each
// block's requested size goes into a side table keyed by address, so what
// is counted is what the code asked for, not the allocator's rounding (a
// 16 MB block mapped from the system would otherwise add up to a page).
// One thread only, like the benchmark.
#include "bench/heap_count.h"

#include <errno.h>
#include <stdint.h>
#include <stdlib.h>

void* __libc_malloc(size_t size);
void __libc_free(void* block);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);

enum { kSlotBits = 20, kSlotCount = 1 << kSlotBits };

struct Slot {
    uintptr_t Address;  // 0: empty
    size_t Bytes;
};

// Open addressing with linear probing; a removal shifts later entries back
// so that no probe sequence is broken and no tombstones pile up.
static struct Slot slots[kSlotCount];
static size_t currentBytes;
static size_t peakBytes;

static size_t Home(uintptr_t address)
{
    return (size_t)(((uint64_t)address * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits));
}

static void Remember(void* block, size_t bytes)
{
    if (!block)
        return;
    size_t i = Home((uintptr_t)block);
    while (slots[i].Address != 0)
        i = (i + 1) & (kSlotCount - 1);
    slots[i].Address = (uintptr_t)block;
    slots[i].Bytes = bytes;
    currentBytes += bytes;
    if (currentBytes > peakBytes)
        peakBytes = currentBytes;
}

static void ShiftBack(size_t hole)
{
    size_t i = hole;
    for (;;) {
        i = (i + 1) & (kSlotCount - 1);
        if (slots[i].Address == 0)
            break;
        size_t home = Home(slots[i].Address);
        // The entry may move into the hole unless its home lies cyclically in (hole, i].
        int stays = hole <= i ? (hole < home && home <= i) : (hole < home || home <= i);
        if (!stays) {
            slots[hole] = slots[i];
            slots[i].Address = 0;
            hole = i;
        }
    }
    slots[hole].Address = 0;
}

static void Forget(void* block)
{
    if (!block)
        return;
    size_t i = Home((uintptr_t)block);
    while (slots[i].Address != (uintptr_t)block) {
        if (slots[i].Address == 0)
            return;  // not ours to count
        i = (i + 1) & (kSlotCount - 1);
    }
    currentBytes -= slots[i].Bytes;
    ShiftBack(i);
}

size_t HeapCurrentBytes(void) { return currentBytes; }
size_t HeapPeakBytes(void) { return peakBytes; }
void HeapResetPeak(void) { peakBytes = currentBytes; }

void* malloc(size_t size)
{
    void* block = __libc_malloc(size);
    Remember(block, size);
    return block;
}

void free(void* block)
{
    Forget(block);
    __libc_free(block);
}

void* calloc(size_t count, size_t size)
{
    void* block = __libc_calloc(count, size);
    Remember(block, count * size);  // calloc itself refuses an overflowing product
    return block;
}

void* realloc(void* block, size_t size)
{
    void* moved = __libc_realloc(block, size);
    if (!moved && size != 0)
        return NULL;  // the old block stays, still counted
    Forget(block);
    Remember(moved, size);
    return moved;
}

void* memalign(size_t alignment, size_t size)
{
    void* block = __libc_memalign(alignment, size);
    Remember(block, size);
    return block;
}

void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }

int posix_memalign(void** result, size_t alignment, size_t size)
{
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0)
        return EINVAL;
    void* block = memalign(alignment, size);
    if (!block)
        return ENOMEM;
    *result = block;
    return 0;
}
