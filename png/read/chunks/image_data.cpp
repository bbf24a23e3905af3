// The handler of the first "IDAT" chunk: sets up the row buffers and opens
// the inflate reader (whose reads are in inflate_reader.cpp), runs the row
// loop of the interlace method over it to the end of the image and checks
// the last chunk's CRC.
#include <cstdlib>

#include "png/read/chunk_frame.h"
#include "png/read/decode.h"
#include "png/rows/row_loops.h"
#include "winlayer/base/allocation.h"

namespace {

// Rows shorter than this (up to the 512-pixel rows of RGBA icons) get a
// smaller window; the smallest while the image data is at most kSmallImage.
constexpr int32_t kShortRow = 2049;
constexpr uint64_t kSmallImage = 2 << 20;
// The largest window made for rows restored together: with inflate's state
// and history, the read-ahead block and the two row buffers, the decode
// stays within 128 KB beyond the image (126.6 KB for rows of 11,520 bytes).
constexpr uint64_t kRowsWindowLimit = 48 * 1024;

// zlib asks for a few blocks of at most 32 KB: the product cannot overflow.
voidpf ZlibAllocate(voidpf, uInt items, uInt size) { return AllocateBytes(size_t{items} * size); }

void ZlibFree(voidpf, voidpf block) { std::free(block); }

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

// The window for rows of rowLength bytes (without the filter-type byte):
// for rows of up to 2 KB, a quarter of the largest while the image data is
// small (icons: the window and inflate's own history then stay closer to
// the first-level cache while the rows are taken), half of it for larger
// pictures; the largest for longer rows. Then room for the rows the
// filters restore together (sixteen of 1-byte pixels, else four) and a
// byte, or failing that for four, within kRowsWindowLimit: the reader tops
// the window up behind the rows not yet taken. Beyond the icons, a window
// made for sixteen rows takes that limit: it fills only from the current
// piece of input, so one of just sixteen rows seldom holds them all. The
// sizes are tuned for speed only; any size gives the same reads (the
// measurements are in the README's performance notes).
uint32_t InflateWindowFor(int32_t rowLength, int32_t rows, int32_t step)
{
    const uint64_t stride = uint64_t{static_cast<uint32_t>(rowLength)} + 1;
    const bool small = stride * static_cast<uint32_t>(rows) <= kSmallImage;
    uint32_t window = kInflateWindowSize;
    if (rowLength < kShortRow)
        window = small ? kInflateWindowSize / 4 : kInflateWindowSize / 2;
    const uint64_t sixteen = 16 * stride + 1;
    const uint64_t together = step == 1 && sixteen <= kRowsWindowLimit ? sixteen : 4 * stride + 1;
    if (together > window && together <= kRowsWindowLimit)
        window = together == sixteen && !small ? kRowsWindowLimit : static_cast<uint32_t>((together + 63) / 64 * 64);
    return window;
}

// Pulls rows from the inflated "IDAT" data: the row source the loops read.
struct InflatedRows {
    PngImageDataChunk* Chunk;
    InflateContext* Context;
    uint32_t* Crc;
};

int32_t ReadInflated(void* context, uint8_t* buffer, int32_t count)
{
    InflatedRows& rows = *static_cast<InflatedRows*>(context);
    return ReadDecompressed(*rows.Chunk, *rows.Context, buffer, count, rows.Chunk->DataEnd, *rows.Crc);
}

uint8_t* PeekInflated(void* context, int32_t count)
{
    InflatedRows& rows = *static_cast<InflatedRows*>(context);
    return PeekBuffered(*rows.Chunk, *rows.Context, count, *rows.Crc);
}

void TakeInflated(void* context, int32_t count) { TakePeeked(*static_cast<InflatedRows*>(context)->Context, count); }

// The row loop of the interlace method, over the inflated rows.
void DecodeRows(PngImageDataChunk& chunk, InflateContext& context, uint32_t& crc, bool interlaced)
{
    InflatedRows rows{&chunk, &context, &crc};
    const RowSource source{ReadInflated, &rows, PeekInflated, TakeInflated};
    if (interlaced)
        RunAdam7Rows(chunk, source);
    else
        RunPlainRows(chunk, source);
}

}  // namespace

bool OpenInflate(FileStream& stream, InflateContext& context, uint32_t windowSize, InPlaceInput* blocks)
{
    context = InflateContext{};
    context.WindowSize = windowSize;
    context.Stream = &stream;
    context.Position = stream.Position();
    // The input is read in place from the read-ahead block when the loader
    // shares it. Otherwise one block holds both buffers: the window, then
    // the input part.
    context.Borrowed = blocks;
    const uint32_t partSize = context.Borrowed ? 0 : kInflatePartSize;
    context.Window = static_cast<uint8_t*>(AllocateBytes(windowSize + partSize));
    if (!context.Window)
        return false;
    if (!context.Borrowed)
        context.Part = context.Input = context.Window + windowSize;
    // zlib's state and window come from the layer's allocation too.
    context.Zlib.zalloc = ZlibAllocate;
    context.Zlib.zfree = ZlibFree;
    // zlib's own version and record size: a binding that states another
    // library's values fails once the record layout differs.
    context.Started = inflateInit(&context.Zlib) == Z_OK;
    if (context.Started)
        inflateValidate(&context.Zlib, 0);
    return context.Started;
}

void CloseInflate(InflateContext& context)
{
    if (context.Started)
        inflateEnd(&context.Zlib);
    std::free(context.Window);
    context.Input = context.Part = context.Window = nullptr;
    context.Started = false;
}

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
    uint32_t crc = StartChunkCrc(Name);
    RowInfo info = image.GetRowInfo();
    RowLength = info.RowLength;
    FilterStep = info.FilterStep;
    InflateContext context;
    OpenInflate(stream, context, InflateWindowFor(RowLength, DecodeHeight, FilterStep), image.LoadInput);
    DataEnd = EndOfData(context.Position, length);
    if (!AllocateRowBuffers(*this)) {
        // Without its two rows the decode cannot start, like a zlib that
        // cannot start.
        image.Status = PngStatus::InflateError;
        context.Failed = true;
    } else {
        DecodeRows(*this, context, crc, image.InterlaceMethod != 0);
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
    const uint32_t stored = ReadStoredCrc(stream);
    if (!image.StrictCrc || CrcMatches(crc, stored))
        return true;
    image.Status = PngStatus::CrcMismatch;
    return false;
}
