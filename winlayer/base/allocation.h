// Every allocation of the object layer and the decoder goes through these
// calls, so that none of them can end the process: each answers none when
// the memory cannot be had, and its caller gives up what it was making.
// Blocks are freed with std::free.
#pragma once

#include <cstddef>
#include <cstdint>

void* AllocateBytes(size_t size);
void* AllocateZeroed(size_t count, size_t size);
void* ResizeBytes(void* block, size_t size);

// A test's way into every allocation above: counts them, and once armed
// makes the one with the given number (counted from 1 after arming) answer
// none, as a full machine would. Not for threads: tests only.
namespace allocation_test {
void FailNumber(uint64_t number);
void Disarm();
// Allocations made since the last FailNumber or Disarm.
uint64_t Count();
// Whether the armed number has been reached (and failed).
bool Failed();
}  // namespace allocation_test
