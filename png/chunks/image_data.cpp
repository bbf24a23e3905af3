// The image data: one zlib stream cut into consecutive "IDAT" chunks (PNG
// standard, sections 10 and 11.2.4), inflated straight from the file stream
// and handed to the row loops one filtered row at a time.
#include <algorithm>
#include <cstdlib>

#include "png/decode.h"

namespace {

const ChunkName kImageData("IDAT");

int32_t Fail(PngImageDataChunk& chunk, InflateContext& context, PngStatus status)
{
    chunk.Owner->Status = status;
    context.Failed = true;
    return -1;
}

// Positions are 32-bit; a chunk that claims to run past 4 GB ends at the
// last position, which a real stream never reaches.
uint32_t EndOfData(uint32_t position, uint32_t length)
{
    uint64_t end = uint64_t{position} + length;
    return end > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(end);
}

enum class Input { Ready, RanOut, Failed };

// Only StrictCrc ever compares the register: otherwise mismatches are
// ignored, so the bytes need not pass through it at all.
void AddToCrc(const PngImageDataChunk& chunk, uint32_t& crc, const uint8_t* bytes, size_t count)
{
    if (chunk.Owner->StrictCrc)
        crc = UpdateCrc(crc, bytes, count);
}

// The current chunk's data is used up: check its CRC and step into the next
// chunk, which must be "IDAT".
Input StepToNextChunk(PngImageDataChunk& chunk, InflateContext& context, uint32_t& dataEnd, uint32_t& crc)
{
    uint8_t frame[12];
    uint32_t got = context.Stream->Read(frame, sizeof frame);
    context.Position += got;
    if (got >= 4 && chunk.Owner->StrictCrc && ReadBigEndian32(frame) != (crc ^ 0xFFFFFFFFu)) {
        Fail(chunk, context, PngStatus::CrcMismatch);
        return Input::Failed;
    }
    // A stream that ends inside the framing holds no further chunk at all:
    // the data ran out, it did not go on in another chunk.
    if (got < sizeof frame)
        return Input::RanOut;
    if (!(ChunkName::FromBytes(frame + 8) == kImageData)) {
        Fail(chunk, context, PngStatus::DataNotContinued);
        return Input::Failed;
    }
    crc = 0xFFFFFFFFu;
    AddToCrc(chunk, crc, frame + 8, 4);
    dataEnd = EndOfData(context.Position, ReadBigEndian32(frame + 4));
    return Input::Ready;
}

// Reads the next piece of compressed data, never across the end of a
// chunk's data, so the CRC register covers exactly the current chunk.
Input FillInput(PngImageDataChunk& chunk, InflateContext& context, uint32_t& dataEnd, uint32_t& crc)
{
    // An empty "IDAT" chunk is stepped over like any other used-up chunk;
    // each step consumes 12 bytes of the stream, so this ends.
    while (context.Position >= dataEnd) {
        Input step = StepToNextChunk(chunk, context, dataEnd, crc);
        if (step != Input::Ready)
            return step;
    }
    uint32_t piece = std::min(kInflateInputSize, dataEnd - context.Position);
    uint32_t got = context.Stream->Read(context.Input, piece);
    context.Position += got;
    if (got == 0)
        return Input::RanOut;
    AddToCrc(chunk, crc, context.Input, got);
    context.Zlib.next_in = context.Input;
    context.Zlib.avail_in = got;
    return Input::Ready;
}

}  // namespace

bool OpenInflate(FileStream& stream, InflateContext& context)
{
    context = InflateContext{};
    context.Stream = &stream;
    context.Position = stream.Position();
    context.Input = static_cast<uint8_t*>(std::malloc(kInflateInputSize));
    if (!context.Input)
        return false;
    // zlib's own version and record size: a binding that states another
    // library's values fails once the record layout differs.
    context.Started = inflateInit(&context.Zlib) == Z_OK;
    return context.Started;
}

void CloseInflate(InflateContext& context)
{
    if (context.Started)
        inflateEnd(&context.Zlib);
    std::free(context.Input);
    context.Input = nullptr;
    context.Started = false;
}

int32_t ReadDecompressed(PngImageDataChunk& chunk, InflateContext& context, uint8_t* buffer, int32_t count,
                         uint32_t& dataEnd, uint32_t& crc)
{
    if (count <= 0 || context.Finished)
        return 0;
    if (!context.Started)
        return Fail(chunk, context, PngStatus::InflateError);
    z_stream& zlib = context.Zlib;
    zlib.next_out = buffer;
    zlib.avail_out = static_cast<uInt>(count);
    while (zlib.avail_out > 0) {
        if (zlib.avail_in == 0) {
            Input input = FillInput(chunk, context, dataEnd, crc);
            if (input == Input::Failed)
                return -1;
            if (input == Input::RanOut)
                break;
        }
        uInt inBefore = zlib.avail_in;
        uInt outBefore = zlib.avail_out;
        int result = inflate(&zlib, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            context.Finished = true;
            break;
        }
        // Z_NEED_DICT and Z_BUF_ERROR are not negative but are failures all
        // the same; a call that moved nothing would loop for ever.
        if (result != Z_OK || (zlib.avail_in == inBefore && zlib.avail_out == outBefore))
            return Fail(chunk, context, PngStatus::InflateError);
    }
    return count - static_cast<int32_t>(zlib.avail_out);
}

namespace {

bool AllocateRowBuffers(PngImageDataChunk& chunk)
{
    // The spare 12 bytes let wide filters run past the row without a tail loop.
    size_t size = static_cast<size_t>(chunk.RowLength) + 12;
    auto* both = static_cast<uint8_t*>(std::calloc(2, size));
    if (!both)
        return false;
    chunk.RowBuffers = {both, both + size};
    // Buffer 0 is the all-zero row the first row is restored against.
    chunk.CurrentIndex = 1;
    return true;
}

// Rows can all be delivered before the current chunk's data is read to its
// end (the zlib trailer, or bytes after the stream, may remain): read the
// rest through the CRC so that the CRC that follows is read where it stands.
void FinishChunkData(PngImageDataChunk& chunk, InflateContext& context, uint32_t dataEnd, uint32_t& crc)
{
    while (context.Input && context.Position < dataEnd) {
        uint32_t piece = std::min(kInflateInputSize, dataEnd - context.Position);
        uint32_t got = context.Stream->Read(context.Input, piece);
        context.Position += got;
        if (got == 0)
            return;
        AddToCrc(chunk, crc, context.Input, got);
    }
}

}  // namespace

bool PngImageDataChunk::Load(FileStream& stream, uint32_t length)
{
    PngImage& image = *Owner;
    if (!image.HasHeader())
        return false;
    PngHeaderChunk& header = *image.Header();
    if (header.Paletted)
        header.BuildGrayPalette();
    bool reduced = image.Reduction != 0;
    DecodeWidth = reduced ? image.ReducedWidth() : header.Width;
    DecodeHeight = reduced ? image.ReducedHeight() : header.Height;
    uint32_t crc = UpdateCrc(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(Name.Bytes.data()), 4);
    RowInfo info = image.GetRowInfo();
    RowLength = info.RowLength;
    FilterStep = info.FilterStep;
    InflateContext context;
    OpenInflate(stream, context);
    DataEnd = EndOfData(context.Position, length);
    if (!AllocateRowBuffers(*this)) {
        // Without its two rows the decode cannot start, like a zlib that
        // cannot start.
        Fail(*this, context, PngStatus::InflateError);
    } else if (image.InterlaceMethod == 0) {
        DecodePlainRows(*this, context, crc);
    } else {
        DecodeAdam7Rows(*this, context, crc);
    }
    if (!context.Failed)
        FinishChunkData(*this, context, DataEnd, crc);
    CloseInflate(context);
    std::free(RowBuffers[0]);
    RowBuffers = {};
    if (context.Failed)
        return false;
    uint8_t stored[4] = {};
    stream.Read(stored, 4);
    if (!image.StrictCrc || ReadBigEndian32(stored) == (crc ^ 0xFFFFFFFFu))
        return true;
    image.Status = PngStatus::CrcMismatch;
    return false;
}
