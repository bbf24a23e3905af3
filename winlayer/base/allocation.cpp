#include "winlayer/base/allocation.h"

#include <cstdlib>

namespace {

uint64_t madeSinceArming = 0;
uint64_t failingNumber = 0;  // 0: nothing fails
bool failed = false;

// True when this allocation is the one a test asked to fail.
bool RefuseThis()
{
    ++madeSinceArming;
    if (failingNumber == 0 || madeSinceArming != failingNumber)
        return false;
    failed = true;
    return true;
}

}  // namespace

void* AllocateBytes(size_t size) { return RefuseThis() ? nullptr : std::malloc(size); }

void* AllocateZeroed(size_t count, size_t size) { return RefuseThis() ? nullptr : std::calloc(count, size); }

void* ResizeBytes(void* block, size_t size) { return RefuseThis() ? nullptr : std::realloc(block, size); }

namespace allocation_test {

void FailNumber(uint64_t number)
{
    madeSinceArming = 0;
    failingNumber = number;
    failed = false;
}

void Disarm() { FailNumber(0); }

uint64_t Count() { return madeSinceArming; }

bool Failed() { return failed; }

}  // namespace allocation_test
