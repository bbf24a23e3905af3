// CRC-32 of the PNG standard (section 5.5, annex D): reflected polynomial
// 0xEDB88320 over the chunk type and data.
#include "png/read/crc32.h"

#include <array>
#include <cstring>

#include "png/cpu.h"
#include "png/image.h"

namespace {

// Table k gives the register change of a byte followed by k zero bytes, so
// eight bytes are folded in with eight independent lookups. Built once per
// process on first use (a thread-safe static).
using SlicingTables = std::array<std::array<uint32_t, 256>, 8>;

const SlicingTables& Tables()
{
    static const SlicingTables tables = [] {
        SlicingTables built{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int bit = 0; bit < 8; ++bit)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            built[0][n] = c;
        }
        for (uint32_t n = 0; n < 256; ++n)
            for (size_t k = 1; k < 8; ++k)
                built[k][n] = built[0][built[k - 1][n] & 0xFF] ^ (built[k - 1][n] >> 8);
        return built;
    }();
    return tables;
}

uint32_t LittleEndian32(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24; }

// Below this the set-up of the folding form costs more than it saves.
constexpr size_t kClmulMinimum = 64;

using CrcForm = uint32_t (*)(uint32_t, const uint8_t*, size_t);

CrcForm ChooseLongForm()
{
#if defined(__i386__) || defined(__x86_64__)
    if (Features().Pclmul)
        return UpdateCrcClmul;
#endif
    return UpdateCrcSlicing;
}

}  // namespace

uint32_t UpdateCrcBytes(uint32_t crc, const uint8_t* bytes, size_t count)
{
    const auto& table = Tables()[0];
    for (size_t i = 0; i < count; ++i)
        crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

uint32_t UpdateCrcSlicing(uint32_t crc, const uint8_t* bytes, size_t count)
{
    const SlicingTables& t = Tables();
    for (; count >= 8; count -= 8, bytes += 8) {
        const uint32_t low = crc ^ LittleEndian32(bytes), high = LittleEndian32(bytes + 4);
        crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
              t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
    }
    return UpdateCrcBytes(crc, bytes, count);
}

uint32_t UpdateCrc(uint32_t crc, const uint8_t* bytes, size_t count)
{
    // Chosen once per process; a thread-safe static.
    static const CrcForm longForm = ChooseLongForm();
    if (count >= kClmulMinimum)
        return longForm(crc, bytes, count);
    return UpdateCrcSlicing(crc, bytes, count);
}
