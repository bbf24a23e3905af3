// The fast forms of CRC-32 against the byte-table loop: every length around
// the block sizes of the folding and slicing forms, every alignment, and
// registers carried from one call into the next.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "png/cpu.h"
#include "png/read/crc32.h"
#include "png/image.h"

namespace {

using CrcForm = uint32_t (*)(uint32_t, const uint8_t*, size_t);

std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random());
    return bytes;
}

void ExpectMatchesBytes(CrcForm form, const char* name)
{
    const std::vector<uint8_t> data = RandomBytes(4096 + 64, 11);
    for (size_t offset = 0; offset < 16; ++offset) {
        for (size_t length = 0; length <= 300; ++length) {
            const uint32_t start = static_cast<uint32_t>(length * 2654435761u);
            ASSERT_EQ(form(start, data.data() + offset, length), UpdateCrcBytes(start, data.data() + offset, length))
                << name << ", offset " << offset << ", length " << length;
        }
    }
    for (size_t length : {1023u, 1024u, 1025u, 4095u, 4096u}) {
        ASSERT_EQ(form(0xFFFFFFFFu, data.data() + 3, length), UpdateCrcBytes(0xFFFFFFFFu, data.data() + 3, length))
            << name << ", length " << length;
    }
}

TEST(Crc32, StandardCheckValues)
{
    // The check value of the CRC-32 catalogue, and the CRC every "IEND" chunk carries.
    const char* digits = "123456789";
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(digits);
    EXPECT_EQ(UpdateCrcBytes(0xFFFFFFFFu, bytes, 9) ^ 0xFFFFFFFFu, 0xCBF43926u);
    EXPECT_EQ(UpdateCrc(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>("IEND"), 4) ^ 0xFFFFFFFFu, 0xAE426082u);
}

TEST(Crc32, SlicingMatchesTheByteTable) { ExpectMatchesBytes(UpdateCrcSlicing, "slicing"); }

TEST(Crc32, ChosenFormMatchesTheByteTable) { ExpectMatchesBytes(UpdateCrc, "chosen"); }

#if defined(__i386__) || defined(__x86_64__)
TEST(Crc32, FoldingMatchesTheByteTable)
{
    if (!Features().Pclmul)
        GTEST_SKIP() << "no PCLMULQDQ on this processor";
    ExpectMatchesBytes(UpdateCrcClmul, "folding");
}
#endif

TEST(Crc32, RegisterCarriesAcrossPiecesOfAnySize)
{
    // The reader feeds a chunk's data in pieces: the register after all of
    // them must be that of the whole.
    const std::vector<uint8_t> data = RandomBytes(70000, 5);
    const uint32_t whole = UpdateCrcBytes(0xFFFFFFFFu, data.data(), data.size());
    for (size_t piece : {1u, 7u, 64u, 65u, 1000u, 65535u}) {
        uint32_t crc = 0xFFFFFFFFu;
        for (size_t at = 0; at < data.size(); at += piece)
            crc = UpdateCrc(crc, data.data() + at, std::min(piece, data.size() - at));
        EXPECT_EQ(crc, whole) << "pieces of " << piece;
    }
}

}  // namespace
