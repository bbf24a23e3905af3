// The floor under any decoder built on zlib: the image data of the file,
// fed to inflate exactly as our reader feeds it (pieces of at most 65535
// bytes that never cross a chunk's end, one row of output per call) and
// thrown away. No CRC, no filters, no conversion.
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/breakdown.h"
#include "bench/decoders.h"
#include "png/format.h"

namespace {

constexpr uint32_t kInputBufferSize = 65535;

struct ImageFacts {
    uint32_t Width = 0, Height = 0;
    uint32_t BitsPerPixel = 0;
    bool Interlaced = false;
};

uint32_t ChannelsOf(uint8_t colorType)
{
    switch (colorType) {
    case 0: case 3: return 1;
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 0;
    }
}

// Walks the "IDAT" chunks from the first one on, handing out their data in
// the reader's pieces.
class IdatPieces {
public:
    explicit IdatPieces(std::span<const uint8_t> file) : file_(file) {}

    bool FindHeader(ImageFacts& facts);
    // Bytes copied into out; 0 when the image data is used up.
    uint32_t Next(uint8_t* out);

private:
    bool EnterChunk();

    std::span<const uint8_t> file_;
    size_t chunk_ = 8;  // start of the current chunk's framing
    size_t at_ = 0, end_ = 0;
    bool inData_ = false, done_ = false;
};

bool IdatPieces::FindHeader(ImageFacts& facts)
{
    if (file_.size() < 8 + 8 + 13 || std::memcmp(file_.data() + 12, "IHDR", 4) != 0)
        return false;
    const uint8_t* h = file_.data() + 16;
    facts.Width = ReadBigEndian32(h);
    facts.Height = ReadBigEndian32(h + 4);
    facts.BitsPerPixel = h[8] * ChannelsOf(h[9]);
    facts.Interlaced = h[12] == 1;
    return facts.BitsPerPixel != 0;
}

bool IdatPieces::EnterChunk()
{
    while (chunk_ + 8 <= file_.size()) {
        uint32_t length = ReadBigEndian32(file_.data() + chunk_);
        bool isData = std::memcmp(file_.data() + chunk_ + 4, "IDAT", 4) == 0;
        if (inData_ && !isData)
            break;  // one image data sequence only
        size_t start = chunk_ + 8;
        chunk_ = start + size_t{length} + 4;
        if (isData) {
            inData_ = true;
            at_ = start;
            end_ = std::min(start + length, file_.size());
            return true;
        }
    }
    done_ = true;
    return false;
}

uint32_t IdatPieces::Next(uint8_t* out)
{
    while (!done_ && at_ >= end_)
        if (!EnterChunk())
            return 0;
    if (done_)
        return 0;
    uint32_t n = static_cast<uint32_t>(std::min<size_t>(kInputBufferSize, end_ - at_));
    std::memcpy(out, file_.data() + at_, n);
    at_ += n;
    return n;
}

// Row lengths with their filter byte, in stream order.
void ForEachRow(const ImageFacts& facts, auto&& row)
{
    auto rowBytes = [&](uint32_t width) { return (uint64_t{width} * facts.BitsPerPixel + 7) / 8 + 1; };
    if (!facts.Interlaced) {
        for (uint32_t y = 0; y < facts.Height; ++y)
            if (!row(rowBytes(facts.Width)))
                return;
        return;
    }
    for (const Adam7Pass& pass : kAdam7Passes) {
        if (facts.Width <= pass.StartColumn || facts.Height <= pass.StartRow)
            continue;
        uint32_t width = (facts.Width - pass.StartColumn + pass.ColumnIncrement - 1) / pass.ColumnIncrement;
        for (uint32_t y = pass.StartRow; y < facts.Height; y += pass.RowIncrement)
            if (!row(rowBytes(width)))
                return;
    }
}

// Inflates the image data row by row as our reader does, showing each row
// (filter byte first) to sink; false when the data ends early or is broken.
template <typename Sink>
bool InflateRows(std::span<const uint8_t> file, Sink&& sink)
{
    IdatPieces pieces(file);
    ImageFacts facts;
    z_stream z{};
    if (!pieces.FindHeader(facts) || inflateInit(&z) != Z_OK)
        return false;
    // Left uninitialised: zeroing 64 KB would be work no reader needs.
    std::unique_ptr<uint8_t[]> input(new uint8_t[kInputBufferSize]);
    std::unique_ptr<uint8_t[]> rowBuffer(new uint8_t[(uint64_t{facts.Width} * facts.BitsPerPixel + 7) / 8 + 1]);
    bool ok = true;
    ForEachRow(facts, [&](uint64_t length) {
        z.next_out = rowBuffer.get();
        z.avail_out = static_cast<uInt>(length);
        while (z.avail_out > 0) {
            if (z.avail_in == 0) {
                z.avail_in = pieces.Next(input.get());
                z.next_in = input.get();
                if (z.avail_in == 0)
                    return ok = false;
            }
            int result = inflate(&z, Z_NO_FLUSH);
            if (result < 0 || (result == Z_STREAM_END && z.avail_out > 0))
                return ok = false;
        }
        sink(rowBuffer.get(), length);
        return true;
    });
    inflateEnd(&z);
    return ok;
}

}  // namespace

DecodeOutcome InflateOnly(std::span<const uint8_t> file)
{
    return {InflateRows(file, [](const uint8_t*, uint64_t) {}), 0};
}

FilterCounts CountFilterTypes(std::span<const uint8_t> file)
{
    FilterCounts counts{};
    InflateRows(file, [&](const uint8_t* row, uint64_t) { ++counts[row[0] < 5 ? row[0] : 5]; });
    return counts;
}

std::vector<uint8_t> ImageDataBytes(std::span<const uint8_t> file)
{
    IdatPieces pieces(file);
    std::vector<uint8_t> all, piece(kInputBufferSize);
    while (uint32_t n = pieces.Next(piece.data()))
        all.insert(all.end(), piece.begin(), piece.begin() + n);
    return all;
}
