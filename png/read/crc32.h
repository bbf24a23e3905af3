// The forms of CRC-32 (PNG standard, section 5.5) behind UpdateCrc. Each
// takes and returns the running, uncomplemented register and gives the same
// value as the byte-table loop for every input.
#pragma once

#include <cstddef>
#include <cstdint>

// One table lookup per byte: the reference.
uint32_t UpdateCrcBytes(uint32_t crc, const uint8_t* bytes, size_t count);

// Eight tables, eight bytes per step (the "slicing-by-8" method): the
// portable fast form.
uint32_t UpdateCrcSlicing(uint32_t crc, const uint8_t* bytes, size_t count);

#if defined(__i386__) || defined(__x86_64__)
// Carry-less multiplication folding 64 bytes per step; only where the
// processor has PCLMULQDQ (Features().Pclmul). Any count; the tail beyond the
// last whole 16 bytes goes through the tables.
uint32_t UpdateCrcClmul(uint32_t crc, const uint8_t* bytes, size_t count);
#endif
