// CRC-32 of the PNG standard (section 5.5, annex D): reflected polynomial
// 0xEDB88320 over the chunk type and data.
#include <array>

#include "png/image.h"

namespace {

// Built on first use and kept for the life of the process. Two threads
// racing here write the same values, so no lock is needed.
std::array<uint32_t, 256> crcTable;
bool crcTableReady = false;

void BuildCrcTable()
{
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        crcTable[n] = c;
    }
    crcTableReady = true;
}

}  // namespace

uint32_t UpdateCrc(uint32_t crc, const uint8_t* bytes, size_t count)
{
    if (!crcTableReady)
        BuildCrcTable();
    for (size_t i = 0; i < count; ++i)
        crc = crcTable[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}
