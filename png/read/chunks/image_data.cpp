// The handler of the first "IDAT" chunk: sets up the row buffers and the
// inflate reader (inflate_reader.cpp), runs the row loop of the interlace
// method to the end of the image and checks the last chunk's CRC.
#include <cstdlib>

#include "png/read/decode.h"
#include "winlayer/base/allocation.h"

namespace {

bool AllocateRowBuffers(PngImageDataChunk& chunk)
{
    // The spare 12 bytes let wide filters run past the row without a tail loop.
    size_t size = static_cast<size_t>(chunk.RowLength) + 12;
    auto* both = static_cast<uint8_t*>(AllocateZeroed(2, size));
    if (!both)
        return false;
    chunk.RowBuffers = {both, both + size};
    // Buffer 0 is the all-zero row the first row is restored against.
    chunk.CurrentIndex = 1;
    return true;
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
    OpenInflate(stream, context, InflateWindowFor(RowLength));
    DataEnd = EndOfData(context.Position, length);
    if (!AllocateRowBuffers(*this)) {
        // Without its two rows the decode cannot start, like a zlib that
        // cannot start.
        image.Status = PngStatus::InflateError;
        context.Failed = true;
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
    // Reading "the CRC" again past the end would compare nothing with the
    // register and fail a file whose CRCs are all right.
    if (context.CrcConsumed)
        return true;
    uint8_t stored[4] = {};
    stream.Read(stored, 4);
    if (!image.StrictCrc || ReadBigEndian32(stored) == (crc ^ 0xFFFFFFFFu))
        return true;
    image.Status = PngStatus::CrcMismatch;
    return false;
}
