// LoadFromStream with StrictCrc set and a reduction taken from the input's
// last byte (0 to 3, or 4, which decodes at full size). A load that passes
// every CRC must decode exactly what the lenient load decodes.
//
// Mutated inputs almost never keep their CRCs, so the mutator mends them in
// seven inputs out of eight; the eighth keeps its broken CRCs for the
// mismatch paths.
#include <zlib.h>

#include <cstddef>
#include <cstdint>

#include "png/format.h"
#include "tools/fuzz/fuzz_support.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

void StoreBigEndian32(uint8_t* p, uint32_t value)
{
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

uint32_t ZlibCrcOf(const uint8_t* chunk, uint32_t length)
{
    return static_cast<uint32_t>(crc32(0, chunk + 4, static_cast<uInt>(length) + 4));
}

// Calls visit(chunk start, data length) for each whole chunk after the
// signature; true when they fill the input exactly.
template <typename Visit>
bool ForEachChunk(const uint8_t* data, size_t size, Visit visit)
{
    if (size < 8)
        return false;
    size_t offset = 8;
    while (offset + 12 <= size) {
        uint32_t length = ReadBigEndian32(data + offset);
        if (length > size - offset - 12)
            return false;
        visit(offset, length);
        offset += size_t{length} + 12;
    }
    return offset == size;
}

// Rewrites every CRC with zlib's CRC-32 rather than the decoder's own.
void MendCrcs(uint8_t* data, size_t size)
{
    ForEachChunk(data, size, [data](size_t at, uint32_t length) {
        StoreBigEndian32(data + at + 8 + length, ZlibCrcOf(data + at, length));
    });
}

// Whole chunks only, every CRC as zlib computes it: then no load may report
// a mismatch, whatever else is wrong with the file.
bool AllCrcsRight(const uint8_t* data, size_t size)
{
    bool right = true;
    bool whole = ForEachChunk(data, size, [&](size_t at, uint32_t length) {
        right = right && ReadBigEndian32(data + at + 8 + length) == ZlibCrcOf(data + at, length);
    });
    return whole && right;
}

uint8_t ReductionFrom(const uint8_t* data, size_t size) { return size == 0 ? 0 : data[size - 1] % 5; }

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed)
{
    size = LLVMFuzzerMutate(data, size, maxSize);
    if (seed % 8 != 0)
        MendCrcs(data, size);
    return size;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int32_t liveBefore = Obj::LiveCount();
    uint8_t reduction = ReductionFrom(data, size);
    PngImage* strict = Create<PngImage>();
    strict->StrictCrc = true;
    strict->Reduction = reduction;
    fuzz::LoadOutcome strictOutcome = fuzz::LoadAndCheck(*strict, data, size);

    PngImage* lenient = Create<PngImage>();
    lenient->Reduction = reduction;
    fuzz::LoadOutcome lenientOutcome = fuzz::LoadAndCheck(*lenient, data, size);

    if (AllCrcsRight(data, size))
        fuzz::Require(strictOutcome.Status != PngStatus::CrcMismatch, "a file whose every CRC is right passes StrictCrc");
    if (strictOutcome.Status == PngStatus::Ok) {
        fuzz::Require(lenientOutcome.Status == PngStatus::Ok && lenientOutcome.Result == strictOutcome.Result,
                      "a load that passes every CRC ends as the lenient load does");
        fuzz::Require(fuzz::DigestOf(*strict, strictOutcome) == fuzz::DigestOf(*lenient, lenientOutcome),
                      "a load that passes every CRC decodes what the lenient load decodes");
    }
    Release(strict);
    Release(lenient);
    fuzz::Require(Obj::LiveCount() == liveBefore, "every object of the load was released");
    return 0;
}
