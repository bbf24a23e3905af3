#include "tests/support/png_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "png/format.h"

namespace pngtest {

uint32_t Channels(uint8_t colorType)
{
    switch (colorType) {
    case 2:
        return 3;
    case 4:
        return 2;
    case 6:
        return 4;
    default:
        return 1;
    }
}

size_t RowBytes(uint32_t width, uint8_t bitDepth, uint8_t colorType)
{
    return (uint64_t{width} * bitDepth * Channels(colorType) + 7) / 8;
}

Picture NoisePicture(uint32_t width, uint32_t height, uint8_t bitDepth, uint8_t colorType, uint32_t seed)
{
    Picture picture{width, height, bitDepth, colorType, 0, {}};
    uint32_t state = seed * 2654435761u + 1;
    for (uint32_t y = 0; y < height; ++y) {
        Bytes row(RowBytes(width, bitDepth, colorType));
        for (uint8_t& byte : row) {
            state = state * 1103515245u + 12345u;
            byte = static_cast<uint8_t>(state >> 16);
        }
        picture.Rows.push_back(row);
    }
    return picture;
}

namespace {

uint32_t BitsPerPixel(const Picture& picture) { return picture.BitDepth * Channels(picture.ColorType); }

// Copies pixel x of a packed row into pixel k of another.
void CopyPixel(const Bytes& from, uint32_t x, Bytes& to, uint32_t k, uint32_t bits)
{
    if (bits >= 8) {
        std::memcpy(&to[k * bits / 8], &from[x * bits / 8], bits / 8);
        return;
    }
    uint32_t mask = (1u << bits) - 1;
    uint32_t value = (from[x * bits / 8] >> (8 - bits - (x * bits) % 8)) & mask;
    to[k * bits / 8] |= static_cast<uint8_t>(value << (8 - bits - (k * bits) % 8));
}

// PNG standard, section 9.2: each byte minus its predictor.
Bytes FilterRow(const Bytes& row, const Bytes& previous, uint8_t type, size_t step)
{
    Bytes out(row.size() + 1);
    out[0] = type;
    for (size_t i = 0; i < row.size(); ++i) {
        uint8_t a = i >= step ? row[i - step] : 0;
        uint8_t b = previous[i];
        uint8_t c = i >= step ? previous[i - step] : 0;
        uint8_t predictor = 0;
        switch (type) {
        case 1:
            predictor = a;
            break;
        case 2:
            predictor = b;
            break;
        case 3:
            predictor = static_cast<uint8_t>((a + b) / 2);
            break;
        case 4:
            predictor = PaethPredictor(a, b, c);
            break;
        default:
            break;
        }
        out[i + 1] = static_cast<uint8_t>(row[i] - predictor);
    }
    return out;
}

void AppendFiltered(const std::vector<Bytes>& rows, size_t step, const FilterChoice& choose, size_t& rowCount,
                    Bytes& out)
{
    if (rows.empty() || rows[0].empty())
        return;
    Bytes previous(rows[0].size(), 0);
    for (const Bytes& row : rows) {
        Bytes filtered = FilterRow(row, previous, choose(rowCount++), step);
        out.insert(out.end(), filtered.begin(), filtered.end());
        previous = row;
    }
}

std::vector<Bytes> PassRows(const Picture& picture, const Adam7Pass& pass)
{
    std::vector<Bytes> rows;
    if (picture.Width <= pass.StartColumn)
        return rows;
    uint32_t width = (picture.Width - pass.StartColumn + pass.ColumnIncrement - 1) / pass.ColumnIncrement;
    uint32_t bits = BitsPerPixel(picture);
    for (uint32_t y = pass.StartRow; y < picture.Height; y += pass.RowIncrement) {
        Bytes row(RowBytes(width, picture.BitDepth, picture.ColorType), 0);
        for (uint32_t k = 0; k < width; ++k)
            CopyPixel(picture.Rows[y], pass.StartColumn + k * pass.ColumnIncrement, row, k, bits);
        rows.push_back(row);
    }
    return rows;
}

}  // namespace

Bytes FilterPicture(const Picture& picture, const FilterChoice& choose)
{
    size_t step = std::max<size_t>(1, BitsPerPixel(picture) / 8);
    size_t rowCount = 0;
    Bytes out;
    if (picture.Interlace == 0) {
        AppendFiltered(picture.Rows, step, choose, rowCount, out);
        return out;
    }
    for (const Adam7Pass& pass : kAdam7Passes)
        AppendFiltered(PassRows(picture, pass), step, choose, rowCount, out);
    return out;
}

Bytes FilterPicture(const Picture& picture, uint8_t filterType)
{
    return FilterPicture(picture, [filterType](size_t) { return filterType; });
}

Bytes Deflate(const Bytes& raw, int level)
{
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), level);
    out.resize(size);
    return out;
}

Bytes BigEndian32(uint32_t value)
{
    return {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value)};
}

Bytes HeaderData(uint32_t width, uint32_t height, uint8_t bitDepth, uint8_t colorType, uint8_t interlace,
                 uint8_t compression, uint8_t filter)
{
    Bytes data = BigEndian32(width);
    Bytes h = BigEndian32(height);
    data.insert(data.end(), h.begin(), h.end());
    data.insert(data.end(), {bitDepth, colorType, compression, filter, interlace});
    return data;
}

namespace {

PngWriter& AppendChunk(PngWriter& writer, const std::string& type, const Bytes& data, uint32_t crcOffset)
{
    Bytes& out = writer.Data;
    Bytes length = BigEndian32(static_cast<uint32_t>(data.size()));
    out.insert(out.end(), length.begin(), length.end());
    size_t typeAt = out.size();
    out.insert(out.end(), type.begin(), type.begin() + 4);
    out.insert(out.end(), data.begin(), data.end());
    // zlib's CRC-32 is the standard's, and independent of the decoder's.
    uLong crc = crc32(0, out.data() + typeAt, static_cast<uInt>(4 + data.size()));
    Bytes stored = BigEndian32(static_cast<uint32_t>(crc) + crcOffset);
    out.insert(out.end(), stored.begin(), stored.end());
    return writer;
}

}  // namespace

PngWriter& PngWriter::Signature()
{
    Data.insert(Data.end(), kPngSignature.begin(), kPngSignature.end());
    return *this;
}

PngWriter& PngWriter::Chunk(const std::string& type, const pngtest::Bytes& data)
{
    return AppendChunk(*this, type, data, 0);
}

PngWriter& PngWriter::BadCrcChunk(const std::string& type, const pngtest::Bytes& data)
{
    return AppendChunk(*this, type, data, 1);
}

PngWriter& PngWriter::Header(const Picture& picture)
{
    return Chunk("IHDR", HeaderData(picture.Width, picture.Height, picture.BitDepth, picture.ColorType,
                                    picture.Interlace));
}

PngWriter& PngWriter::ImageData(const pngtest::Bytes& zlib, size_t pieceSize)
{
    size_t at = 0;
    do {
        size_t n = std::min(pieceSize, zlib.size() - at);
        Chunk("IDAT", pngtest::Bytes(zlib.begin() + static_cast<ptrdiff_t>(at),
                                     zlib.begin() + static_cast<ptrdiff_t>(at + n)));
        at += n;
    } while (at < zlib.size());
    return *this;
}

PngWriter& PngWriter::End() { return Chunk("IEND", {}); }

pngtest::Bytes PngWriter::Simple(const Picture& picture, uint8_t filterType)
{
    PngWriter writer;
    writer.Signature().Header(picture).ImageData(Deflate(FilterPicture(picture, filterType))).End();
    return writer.Data;
}

namespace {

struct MemoryFile {
    Bytes Content;
    uint32_t Position = 0;
};

MemoryFile& FileOf(FileStream* stream) { return *reinterpret_cast<MemoryFile*>(stream->FileHandle); }

uint32_t MemorySeek(FileStream* stream, int32_t distance, SeekOrigin origin)
{
    MemoryFile& file = FileOf(stream);
    int64_t base = origin == SeekOrigin::Start ? 0
                   : origin == SeekOrigin::Current ? file.Position
                                                   : static_cast<int64_t>(file.Content.size());
    int64_t target = base + distance;
    if (target < 0)
        return kSeekFailed;
    file.Position = static_cast<uint32_t>(target);
    return file.Position;
}

uint32_t MemorySize(FileStream* stream) { return static_cast<uint32_t>(FileOf(stream).Content.size()); }

uint32_t MemoryRead(FileStream* stream, void* buffer, uint32_t count)
{
    MemoryFile& file = FileOf(stream);
    if (file.Position >= file.Content.size())
        return 0;
    uint32_t n = std::min<uint32_t>(count, static_cast<uint32_t>(file.Content.size() - file.Position));
    std::memcpy(buffer, file.Content.data() + file.Position, n);
    file.Position += n;
    return n;
}

void MemoryClose(FileStream* stream)
{
    delete &FileOf(stream);
    stream->FileHandle = kInvalidFile;
}

}  // namespace

FileStream* OpenMemoryStream(const pngtest::Bytes& bytes)
{
    FileStream* stream = Create<FileStream>();
    stream->OperationTable = kFileStreamTemplate;
    stream->Operations = &stream->OperationTable;
    stream->OperationTable.Seek = MemorySeek;
    stream->OperationTable.GetSize = MemorySize;
    stream->OperationTable.Read = MemoryRead;
    stream->OperationTable.Close = MemoryClose;
    stream->FileHandle = reinterpret_cast<PlatformFile>(new MemoryFile{bytes, 0});
    return stream;
}

bool LoadBytes(PngImage& image, const pngtest::Bytes& bytes)
{
    FileStream* stream = OpenMemoryStream(bytes);
    bool result = image.LoadFromStream(*stream);
    Release(stream);
    return result;
}

std::string ChunkNames(const PngImage& image)
{
    std::string names;
    for (int32_t i = 0; i < image.Chunks->Count; ++i) {
        auto* chunk = static_cast<PngChunk*>(image.Chunks->Item(i));
        if (!names.empty())
            names += ' ';
        names.append(chunk->Name.Bytes.data(), 4);
    }
    return names;
}

}  // namespace pngtest
