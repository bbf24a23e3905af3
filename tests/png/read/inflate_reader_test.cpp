// The windowed image-data reader against a reader that inflates straight
// into each row (kept here as the reference): over streams broken at and
// around row ends, cut short, with a wrong check value or bytes after the
// end, cut into chunks of every kind of size, every read must return the
// same count, the same bytes and the same status.
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <random>

#include "png/read/decode.h"
#include "png/read/read_ahead.h"
#include "tests/support/png_writer.h"

using namespace pngtest;

namespace {

// The chunk sequence after the first chunk's length and type: data, CRC,
// then length, type, data, CRC of each further chunk.
struct Stream {
    Bytes Bytes_;
    uint32_t FirstLength = 0;
};

// Inflates straight into each row from pieces of at most 65535 bytes that
// never cross a chunk's end; no CRC checks (StrictCrc off).
class RowByRowReader {
public:
    explicit RowByRowReader(const Stream& stream) : stream_(stream), end_(stream.FirstLength)
    {
        inflateInit(&zlib_);
    }
    ~RowByRowReader() { inflateEnd(&zlib_); }

    // The count, or -1; status as the reader would set it (0 while none).
    // After a failure every read fails again, reading nothing.
    int32_t Read(uint8_t* buffer, int32_t count, int& status)
    {
        if (finished_)
            return 0;
        if (failed_)
            return -1;
        zlib_.next_out = buffer;
        zlib_.avail_out = static_cast<uInt>(count);
        while (zlib_.avail_out > 0) {
            if (zlib_.avail_in == 0) {
                const int input = Fill(status);
                if (input < 0)
                    return Failed();
                if (input == 0)
                    break;
            }
            const uInt inBefore = zlib_.avail_in, outBefore = zlib_.avail_out;
            const int result = inflate(&zlib_, Z_NO_FLUSH);
            if (result == Z_STREAM_END) {
                finished_ = true;
                break;
            }
            if (result != Z_OK || (zlib_.avail_in == inBefore && zlib_.avail_out == outBefore)) {
                status = static_cast<int>(PngStatus::InflateError);
                return Failed();
            }
        }
        return count - static_cast<int32_t>(zlib_.avail_out);
    }

private:
    int32_t Failed()
    {
        failed_ = true;
        return -1;
    }

    // 1: input ready, 0: ran out, -1: failed.
    int Fill(int& status)
    {
        const Bytes& bytes = stream_.Bytes_;
        while (at_ >= end_) {
            const size_t framing = std::min<size_t>(12, bytes.size() - std::min(at_, bytes.size()));
            const size_t frame = at_;
            at_ += framing;
            if (framing < 12)
                return 0;
            if (std::memcmp(&bytes[frame + 8], "IDAT", 4) != 0) {
                status = static_cast<int>(PngStatus::DataNotContinued);
                return -1;
            }
            end_ = at_ + ReadBigEndian32(&bytes[frame + 4]);
        }
        const size_t piece = std::min<size_t>({65535, end_ - at_, bytes.size() - std::min(at_, bytes.size())});
        at_ += std::max<size_t>(piece, 0);
        if (piece == 0)
            return 0;
        zlib_.next_in = const_cast<uint8_t*>(&bytes[at_ - piece]);
        zlib_.avail_in = static_cast<uInt>(piece);
        return 1;
    }

    const Stream& stream_;
    z_stream zlib_{};
    size_t at_ = 0, end_;
    bool finished_ = false, failed_ = false;
};

Bytes Chunked(const Bytes& zlib, std::mt19937& random, uint32_t& firstLength)
{
    std::vector<size_t> cuts = {0, zlib.size()};
    const int kind = static_cast<int>(random() % 4);
    const size_t step = kind == 0 ? zlib.size() + 1 : kind == 1 ? 1 + random() % 9 : 1 + random() % 300;
    for (size_t at = step; kind < 3 && at < zlib.size(); at += step)
        cuts.push_back(at);
    for (int k = 0; kind == 3 && k < 4; ++k)
        cuts.push_back(random() % (zlib.size() + 1));
    std::sort(cuts.begin(), cuts.end());
    Bytes out;
    for (size_t k = 0; k + 1 < cuts.size(); ++k) {
        const Bytes piece(zlib.begin() + cuts[k], zlib.begin() + cuts[k + 1]);
        if (k == 0) {
            firstLength = static_cast<uint32_t>(piece.size());
        } else {
            const Bytes length = BigEndian32(static_cast<uint32_t>(piece.size()));
            out.insert(out.end(), length.begin(), length.end());
            out.insert(out.end(), {'I', 'D', 'A', 'T'});
        }
        out.insert(out.end(), piece.begin(), piece.end());
        out.insert(out.end(), {0, 0, 0, 0});  // CRC, unchecked
    }
    const Bytes end = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    out.insert(out.end(), end.begin(), end.end());
    return out;
}

// Rows of rowBytes each, deflated with a flush after some rows (so that
// blocks end exactly at row ends), then broken in one of several ways.
Bytes BrokenStream(int32_t rowBytes, int32_t rows, std::mt19937& random)
{
    z_stream z{};
    deflateInit2(&z, static_cast<int>(random() % 10), Z_DEFLATED, 9 + static_cast<int>(random() % 7), 8,
                 Z_DEFAULT_STRATEGY);
    const bool noise = random() % 2 == 0;
    const int flushEvery = 1 + static_cast<int>(random() % 4);
    Bytes out(static_cast<size_t>(rowBytes) * rows * 2 + 1024);
    std::vector<size_t> rowEnds;
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    for (int32_t r = 0; r < rows; ++r) {
        Bytes row(static_cast<size_t>(rowBytes));
        for (uint8_t& b : row)
            b = static_cast<uint8_t>(noise ? random() : random() % 3);
        z.next_in = row.data();
        z.avail_in = static_cast<uInt>(row.size());
        deflate(&z, r % flushEvery == 0 ? (random() % 2 ? Z_FULL_FLUSH : Z_SYNC_FLUSH) : Z_NO_FLUSH);
        rowEnds.push_back(z.total_out);
    }
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    const size_t at = rowEnds[random() % rowEnds.size()] + random() % 4;
    switch (random() % 6) {
    case 0:  // a byte at or just after a row end
        if (at < out.size())
            out[at] = static_cast<uint8_t>(random());
        break;
    case 1:  // cut near a row end
        out.resize(std::min(out.size(), at));
        break;
    case 2:  // a wrong check value
        out[out.size() - 1 - random() % 4] ^= static_cast<uint8_t>(1 << (random() % 8));
        break;
    case 3:  // bytes after the stream's end
        out.insert(out.end(), 1 + random() % 8, static_cast<uint8_t>(random()));
        break;
    case 4:  // a bit anywhere
        out[random() % out.size()] ^= static_cast<uint8_t>(1 << (random() % 8));
        break;
    default:
        break;
    }
    return out;
}

// The windowed reader over a stream, as the image data handler sets it up:
// through the loader's read-ahead (input seen in place in its block) or
// straight from the stream into a part buffer of its own.
struct WindowedReader {
    ImageRef Image;
    PngImageDataChunk* Chunk = static_cast<PngImageDataChunk*>(Image->CreateChunk(ChunkName("IDAT")));
    FileStream* Memory;
    FileStream* File;
    InflateContext Context;
    uint32_t DataEnd, Crc = 0xFFFFFFFFu;
    bool Opened;

    WindowedReader(const Stream& stream, bool readAhead)
        : Memory(OpenMemoryStream(stream.Bytes_)),
          File(readAhead ? OpenReadAhead(*Memory) : Memory),
          DataEnd(stream.FirstLength),
          Opened(OpenInflate(*File, Context, kInflateWindowSize,
                             readAhead ? static_cast<ReadAheadStream*>(File) : nullptr) &&
                 (Context.Borrowed != nullptr) == readAhead)
    {
    }
    ~WindowedReader()
    {
        CloseInflate(Context);
        if (File != Memory)
            Release(File);
        Release(Memory);
    }
    int32_t Read(uint8_t* buffer, int32_t count)
    {
        return ReadDecompressed(*Chunk, Context, buffer, count, DataEnd, Crc);
    }
    PngStatus Status() const { return Image->Status; }
};

TEST(InflateReader, EveryReadAsInflatingStraightIntoTheRow)
{
    std::mt19937 random(1950);
    for (int trial = 0; trial < 1500; ++trial) {
        const int32_t rowBytes = 1 + static_cast<int32_t>(random() % (trial % 10 == 0 ? 9000 : 200));
        const int32_t rows = 1 + static_cast<int32_t>(random() % 40);
        Stream stream;
        stream.Bytes_ = Chunked(BrokenStream(rowBytes, rows, random), random, stream.FirstLength);
        if (trial % 8 == 5)  // the file itself cut short, anywhere
            stream.Bytes_.resize(random() % stream.Bytes_.size());
        SCOPED_TRACE(testing::Message() << "trial " << trial << ", row bytes " << rowBytes << ", rows " << rows);

        WindowedReader own(stream, false), borrowing(stream, true);
        ASSERT_TRUE(own.Opened && borrowing.Opened);
        RowByRowReader reference(stream);
        // The row loops' reads, and some after the end (the Adam7 loop reads
        // again after a failure, at each next pass).
        int status = 0;  // kept, as the image's Status is
        for (int32_t r = 0; r < rows + 3; ++r) {
            Bytes expected(static_cast<size_t>(rowBytes), 0xEE);
            const int32_t want = reference.Read(expected.data(), rowBytes, status);
            for (WindowedReader* reader : {&own, &borrowing}) {
                Bytes actual(static_cast<size_t>(rowBytes), 0xEE);
                SCOPED_TRACE(reader == &own ? "own input buffer" : "input in the read-ahead block");
                ASSERT_EQ(reader->Read(actual.data(), rowBytes), want) << "read " << r;
                ASSERT_EQ(static_cast<int>(reader->Status()), status) << "read " << r;
                ASSERT_EQ(actual, expected) << "read " << r;
            }
        }
    }
}

TEST(InflateReader, ACheckValueAcrossTheEndOfAReadAheadBlockAndAChunk)
{
    // Stored blocks: a zlib stream of exactly one read-ahead block and two
    // bytes, whose check value starts two bytes before the block ends, where
    // the first chunk ends too; stepping into the second chunk refills the
    // whole block the value's first bytes were read from.
    const int32_t rowBytes = static_cast<int32_t>(kReadAheadSize) - 9;
    Bytes row(static_cast<size_t>(rowBytes));
    std::mt19937 random(1951);
    for (uint8_t& b : row)
        b = static_cast<uint8_t>(random());
    Bytes zlib(compressBound(row.size()));
    uLongf size = zlib.size();
    ASSERT_EQ(compress2(zlib.data(), &size, row.data(), row.size(), 0), Z_OK);
    ASSERT_EQ(size, kReadAheadSize + 2);
    Stream stream;
    stream.FirstLength = kReadAheadSize;
    stream.Bytes_.assign(zlib.begin(), zlib.begin() + kReadAheadSize);
    const Bytes rest = {0, 0, 0, 0, 0, 0, 0, 2, 'I', 'D', 'A', 'T', zlib[kReadAheadSize], zlib[kReadAheadSize + 1],
                        0, 0, 0, 0, 0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    stream.Bytes_.insert(stream.Bytes_.end(), rest.begin(), rest.end());
    stream.Bytes_.resize(stream.Bytes_.size() + kReadAheadSize);  // so that the refill fills the block

    WindowedReader reader(stream, true);
    ASSERT_TRUE(reader.Opened);
    Bytes actual(row.size());
    EXPECT_EQ(reader.Read(actual.data(), rowBytes), rowBytes);
    EXPECT_EQ(actual, row);
    EXPECT_EQ(reader.Read(actual.data(), rowBytes), 0) << "the stream's end, its check value right";
    EXPECT_EQ(reader.Status(), PngStatus::Ok);
}

// Deflate bits, least significant first (RFC 1951, section 3.1.1).
struct BitWriter {
    Bytes Out;
    int Used = 8;
    void Put(uint32_t value, int count)
    {
        for (int i = 0; i < count; ++i, ++Used) {
            if (Used == 8) {
                Out.push_back(0);
                Used = 0;
            }
            Out.back() = static_cast<uint8_t>(Out.back() | (((value >> i) & 1) << Used));
        }
    }
    // Huffman codes go most significant bit first.
    void PutCode(uint32_t code, int count)
    {
        for (int i = count - 1; i >= 0; --i)
            Put((code >> i) & 1, 1);
    }
};

TEST(InflateReader, AMatchTooFarBackRightAfterTheLastRowIsMetOnlyByTheNextRead)
{
    // One fixed-code block (RFC 1951, section 3.2.6): the rows as literals,
    // then a match 24577 bytes back, which inflate checks only when it has
    // room to copy it; the stream's last byte follows the match's bits.
    const int32_t rowBytes = 5, rows = 3;
    BitWriter bits;
    bits.Put(1, 1);  // final block
    bits.Put(1, 2);  // fixed codes
    for (int32_t i = 0; i < rowBytes * rows; ++i)
        bits.PutCode(0x30 + static_cast<uint32_t>(i), 8);  // literal i
    bits.PutCode(1, 7);   // length 3
    bits.PutCode(29, 5);  // distance code 29: 24577 and more
    bits.Put(0, 13);
    Stream stream;
    const Bytes header = {0x78, 0x01}, last = {0x55};
    const Bytes end = {0, 0, 0, 0, 0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    for (const Bytes* part : std::initializer_list<const Bytes*>{&header, &bits.Out, &last})
        for (uint8_t b : *part)
            stream.Bytes_.push_back(b);
    stream.FirstLength = static_cast<uint32_t>(stream.Bytes_.size());
    for (uint8_t b : end)
        stream.Bytes_.push_back(b);

    WindowedReader reader(stream, true);
    ASSERT_TRUE(reader.Opened);
    RowByRowReader reference(stream);
    int status = 0;
    for (int32_t r = 0; r < rows + 1; ++r) {
        Bytes expected(rowBytes), actual(rowBytes);
        const int32_t want = reference.Read(expected.data(), rowBytes, status);
        EXPECT_EQ(want, r < rows ? rowBytes : -1) << "the reference itself, read " << r;
        EXPECT_EQ(reader.Read(actual.data(), rowBytes), want) << "read " << r;
        EXPECT_EQ(actual, expected) << "read " << r;
    }
    EXPECT_EQ(reader.Status(), PngStatus::InflateError);
}

}  // namespace
