#include "png/rows/row_loops.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "png/cpu.h"
#include "png/rows/converters.h"
#include "png/rows/converters_choose.h"
#include "png/rows/filters.h"
#include "png/rows/filters_choose.h"

namespace {

// Everything a loop needs, gathered once per picture.
struct LoopState {
    PngImage* Image = nullptr;
    PngHeaderChunk* Header = nullptr;
    PngImageDataChunk* Chunk = nullptr;
    PixelFormat Format;
    RowFilters Filters;
    ConvertParams Params;
    PlainConverter Plain = nullptr;
    InterlacedConverter Interlaced = nullptr;
    int32_t Pass = 0;
    int32_t Width = 0;   // W and H from the header
    int32_t Height = 0;
    int32_t Capacity = 0;  // the full-width row length the buffers were made for
    bool Alpha = false;
    bool CanWrite = false;
    uint8_t* PixelRow = nullptr;
    uint8_t* AlphaRow = nullptr;
};

// Row pointers step past the ends of their buffers after the last row (and
// the handler's pointers may be anything): the arithmetic is done on
// addresses. A null row stays null, so a handler that supplies no row gets
// nothing written rather than a write near address 0.
uint8_t* Offset(uint8_t* p, int64_t delta)
{
    if (p == nullptr)
        return nullptr;
    return reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(p) + static_cast<uintptr_t>(delta));
}

// The header's buffers were sized when the header was read: they must hold
// W' x H' pixels of the converter's format, or nothing is written.
bool BuffersFit(const LoopState& st)
{
    const PngHeaderChunk& header = *st.Header;
    const DibHeader& dib = header.Info.Header;
    if (header.Pixels == nullptr || (st.Alpha && header.AlphaPlane == nullptr))
        return false;
    if (header.BitCount() != st.Format.BitmapBits)
        return false;
    if (st.Params.DecodeWidth > dib.Width || st.Chunk->DecodeHeight > dib.Height)
        return false;
    return header.BytesPerRow >= PixelRowSpan(st.Format, st.Interlaced != nullptr, st.Params);
}

bool Prepare(PngImageDataChunk& chunk, bool interlaced, LoopState& st)
{
    st.Image = chunk.Owner;
    if (st.Image == nullptr || !st.Image->HasHeader() || chunk.RowBuffers[0] == nullptr ||
        chunk.RowBuffers[1] == nullptr)
        return false;
    st.Header = st.Image->Header();
    st.Chunk = &chunk;
    const int32_t shift = st.Image->ReductionShift();
    chunk.ReductionShift = shift;
    st.Width = st.Header->Width;
    st.Height = st.Header->Height;
    st.Capacity = chunk.RowLength;
    st.Filters = ChooseWideRowFilters(Features(), WideArithmetic(), chunk.FilterStep);
    st.Params = {chunk.DecodeWidth, shift, chunk.RowLength, st.Width, st.Image->GammaTable.data()};
    st.Format = st.Header->Format();
    const uint8_t colorType = st.Header->ColorType, depth = st.Header->BitDepth;
    // Once per picture: whether the lookups can go, and the fastest forms.
    const bool identity = IsIdentityTable(st.Params.GammaTable);
    if (interlaced)
        st.Interlaced = ChooseFastInterlacedConverter(colorType, depth, Features(), identity);
    else
        st.Plain = ChooseFastPlainConverter(colorType, depth, shift, Features(), identity);
    st.Alpha = st.Format.Alpha;
    // Source pixel k * 2^s of a row exists only for k below W >> s.
    const bool shapeFits = chunk.DecodeWidth > 0 && chunk.DecodeWidth <= (st.Width >> shift) &&
                           chunk.DecodeHeight <= (st.Height >> shift);
    const bool converter = st.Plain != nullptr || st.Interlaced != nullptr;
    st.CanWrite = converter && shapeFits && (st.Image->OnScanline || BuffersFit(st));
    return true;
}

bool ReadRow(PngImageDataChunk& chunk, const RowSource& source, int32_t length)
{
    return source.Read(source.Context, chunk.CurrentRow(), length + 1) > 0;
}

// row: the restored row's first byte after its filter type.
void Convert(LoopState& st, const uint8_t* row)
{
    // A handler may leave a row pointer null: then there is nowhere to write.
    if (!st.CanWrite || st.PixelRow == nullptr || (st.Alpha && st.AlphaRow == nullptr))
        return;
    if (st.Interlaced)
        st.Interlaced(st.Params, st.Pass, row, st.PixelRow, st.AlphaRow);
    else
        st.Plain(st.Params, row, st.PixelRow, st.AlphaRow);
}

// False when the handler asked to stop. Its changes to width and height are
// not kept.
bool CallScanline(LoopState& st, int32_t row, int32_t width)
{
    int32_t w = width, h = st.Height;
    bool stop = false;
    st.Image->OnScanline(st.Image, row, w, h, st.PixelRow, st.AlphaRow, stop);
    return !stop;
}

bool DeliverRow(LoopState& st, int32_t row)
{
    const bool scanline = static_cast<bool>(st.Image->OnScanline);
    if (scanline && !CallScanline(st, row, st.Width))
        return false;
    Convert(st, st.Chunk->CurrentRow() + 1);
    return !scanline || CallScanline(st, row, -st.Width);
}

// Pixels is bottom-up, the alpha plane top-down with rows W' bytes apart.
void StepRows(LoopState& st, int64_t rows)
{
    st.PixelRow = Offset(st.PixelRow, -int64_t{st.Header->BytesPerRow} * rows);
    st.AlphaRow = Offset(st.AlphaRow, int64_t{st.Params.DecodeWidth} * rows);
}

// Where destination row e of the reduced picture starts.
void PlaceRows(LoopState& st, int64_t e)
{
    if (st.Image->OnScanline)
        return;  // the handler supplies the rows
    const int64_t decodeHeight = st.Chunk->DecodeHeight;
    st.PixelRow = Offset(st.Header->Pixels, int64_t{st.Header->BytesPerRow} * (decodeHeight - 1 - e));
    st.AlphaRow = Offset(st.Header->AlphaPlane, int64_t{st.Params.DecodeWidth} * e);
}

// Percent before a row of an Adam7 pass. With several passes it is taken in
// extended precision and rounded to nearest, ties to even (the default
// rounding mode), so each pass fills its share of 0 to 100.
int32_t Adam7Percent(int32_t pass, int32_t lastPass, int64_t y, int32_t decodeHeight)
{
    if (lastPass == 0)
        return static_cast<int32_t>(y * 100 / std::max(1, decodeHeight - 1));
    const long double passes = lastPass + 1;
    const long double share = static_cast<long double>(y) * 100 / std::max(1, decodeHeight);
    return static_cast<int32_t>(std::nearbyint(pass * 100 / passes + share / passes));
}

// Without handlers nothing can tell when a row was read, so rows the window
// already holds may be taken early (a read with no event).
bool TakesRowsEarly(const LoopState& st, const RowSource& source)
{
    return source.Peek && source.Take && !st.Image->OnProgress && !st.Image->OnScanline &&
           st.Params.ReductionShift == 0;
}

// Restores the current row; where it and the next are Paeth rows and the
// next is already inflated, both together (the two chains from pixel to
// pixel then overlap), the next where it lies in the window and then copied
// over the previous row, which is no longer needed. True when that row
// holds the next row, restored.
bool RestoreRows(LoopState& st, const RowSource& source, bool pairs, bool last)
{
    PngImageDataChunk& chunk = *st.Chunk;
    uint8_t* row = chunk.CurrentRow();
    const int32_t length = chunk.RowLength;
    const uint8_t paeth = static_cast<uint8_t>(FilterType::Paeth);
    uint8_t* next = pairs && !last && row[0] == paeth ? source.Peek(source.Context, length + 1) : nullptr;
    if (next == nullptr || next[0] != paeth) {
        UnfilterRow(st.Filters, chunk);
        return false;
    }
    source.Take(source.Context, length + 1);
    st.Filters.PaethPair(row, next, chunk.PreviousRow(), length);
    std::memcpy(chunk.PreviousRow(), next, static_cast<size_t>(length) + 1);
    return true;
}

// Buffers made without zero-fill (PngHeaderChunk::Unfilled): each row gets
// its padding zeroed before the converter writes the rest, and when the loop
// ends, however it ends, the header zeroes the rows it did not reach. With a
// handler that may look at the buffers meanwhile they are zeroed at once.
class RowFill {
public:
    RowFill(LoopState& st) : st_(st)
    {
        PngHeaderChunk& header = *st.Header;
        active_ = header.Unfilled && st.CanWrite && !st.Image->OnProgress && !st.Image->OnScanline;
        if (!active_) {
            header.ZeroUnwritten();
            return;
        }
        const int64_t span = PixelRowSpan(st.Format, false, st.Params);
        span_ = static_cast<size_t>(std::clamp<int64_t>(span, 0, header.BytesPerRow));
    }
    ~RowFill()
    {
        if (!active_)
            return;
        const uint64_t rowBytes = static_cast<uint32_t>(st_.Header->BytesPerRow);
        const uint64_t height = static_cast<uint64_t>(st_.Chunk->DecodeHeight);
        const uint64_t alpha = st_.Alpha ? rows_ * static_cast<uint64_t>(st_.Params.DecodeWidth) : 0;
        st_.Header->ZeroUnwritten(rowBytes * (height - rows_), rowBytes * height, alpha);
    }
    // Before the row at PixelRow is delivered.
    void Row()
    {
        if (!active_)
            return;
        std::memset(st_.PixelRow + span_, 0, static_cast<size_t>(st_.Header->BytesPerRow) - span_);
        ++rows_;
    }

private:
    LoopState& st_;
    bool active_ = false;
    size_t span_ = 0;
    uint64_t rows_ = 0;
};

// Count rows in the window, where restoring them together is faster than
// row by row (RestoreTogether), taken, restored together and converted where
// they lie; the last is copied into the current row buffer, as if read
// there, as the next row's previous one. False (nothing taken) when not.
bool DeliverInPlace(LoopState& st, const RowSource& source, RowFill* fill, FourRowsRoutine restore, int32_t count,
                    int32_t rowStep)
{
    PngImageDataChunk& chunk = *st.Chunk;
    const int32_t stride = chunk.RowLength + 1;
    uint8_t* rows = restore ? source.Peek(source.Context, count * stride) : nullptr;
    if (!rows || !RestoreTogether(rows, stride, count))
        return false;
    source.Take(source.Context, count * stride);
    restore(rows, stride, chunk.PreviousRow(), chunk.RowLength);
    for (int32_t k = 0; k < count; ++k) {
        if (fill)
            fill->Row();
        Convert(st, rows + k * stride + 1);
        StepRows(st, rowStep);
    }
    std::memcpy(chunk.CurrentRow(), rows + (count - 1) * stride, static_cast<size_t>(stride));
    chunk.CurrentIndex ^= 1;
    return true;
}

// The most rows (of rowsLeft, rowStep destination rows apart) the window
// gives to be restored together: 0 when none were.
int32_t DeliverRowsInPlace(LoopState& st, const RowSource& source, RowFill* fill, int64_t rowsLeft, int32_t rowStep)
{
    const RowFilters& filters = st.Filters;
    const int32_t many = filters.ManyRowsCount;
    if (many <= rowsLeft && DeliverInPlace(st, source, fill, filters.ManyRows, many, rowStep))
        return many;
    return 4 <= rowsLeft && DeliverInPlace(st, source, fill, filters.FourRows, 4, rowStep) ? 4 : 0;
}

enum class PassEnd { Next, Stop };

PassEnd RunPass(LoopState& st, const RowSource& source, int32_t lastPass)
{
    PngImageDataChunk& chunk = *st.Chunk;
    PngImage& image = *st.Image;
    const Adam7Pass& pass = kAdam7Passes[st.Pass];
    const int64_t passWidth = (int64_t{st.Width} - pass.StartColumn + pass.ColumnIncrement - 1) / pass.ColumnIncrement;
    const int32_t length = static_cast<int32_t>(st.Format.RowBytes(passWidth));
    if (length > st.Capacity)
        return PassEnd::Stop;  // never for a consistent chunk: the buffers are too small
    chunk.RowLength = length;
    st.Params.RowLength = length;
    st.Params.SourceWidth = static_cast<int32_t>(passWidth);
    // The first row of each pass is restored against zeros (PNG standard, 8.2).
    std::memset(chunk.PreviousRow(), 0, static_cast<size_t>(length) + 1);
    const int32_t shift = st.Params.ReductionShift, rowStep = pass.RowIncrement >> shift;
    int64_t y = pass.StartRow, e = y >> shift;
    PlaceRows(st, e);
    if (length == 0)
        return PassEnd::Next;
    const bool inPlace = st.Filters.FourRows && TakesRowsEarly(st, source);
    for (; y < st.Height; y += pass.RowIncrement, e += rowStep) {
        const int32_t percent = Adam7Percent(st.Pass, lastPass, y, chunk.DecodeHeight);
        if (image.OnProgress && !image.OnProgress(&image, static_cast<uint8_t>(st.Pass), lastPass, percent))
            return PassEnd::Next;
        const int64_t rowsLeft = (st.Height - y + pass.RowIncrement - 1) / pass.RowIncrement;
        if (const int32_t together = inPlace ? DeliverRowsInPlace(st, source, nullptr, rowsLeft, rowStep) : 0) {
            y += int64_t{together - 1} * pass.RowIncrement;
            e += int64_t{together - 1} * rowStep;
            continue;
        }
        if (!ReadRow(chunk, source, length))
            return PassEnd::Next;
        UnfilterRow(st.Filters, chunk);
        if (e < chunk.DecodeHeight && !DeliverRow(st, static_cast<int32_t>(y)))
            return PassEnd::Stop;
        chunk.CurrentIndex ^= 1;
        StepRows(st, rowStep);
    }
    return PassEnd::Next;
}

}  // namespace

void RunPlainRows(PngImageDataChunk& chunk, const RowSource& source)
{
    LoopState st;
    if (!Prepare(chunk, false, st) || st.Height <= 0)
        return;
    PngImage& image = *st.Image;
    PlaceRows(st, 0);
    RowFill fill(st);
    const int64_t divisor = std::max(1, st.Height - 1);
    const int32_t skipMask = (1 << st.Params.ReductionShift) - 1;
    const bool pairs = st.Filters.PaethPair && TakesRowsEarly(st, source);
    const bool inPlace = st.Filters.FourRows && TakesRowsEarly(st, source);
    bool nextRestored = false;
    int64_t d = 0;
    for (int32_t r = 0; r < st.Height; ++r) {
        if (image.OnProgress && !image.OnProgress(&image, 0, 0, static_cast<int32_t>(d * 100 / divisor)))
            return;
        const int32_t together = !nextRestored && inPlace ? DeliverRowsInPlace(st, source, &fill, st.Height - r, 1) : 0;
        if (together > 0) {
            r += together - 1;
            d += together;
            continue;
        }
        if (nextRestored) {
            nextRestored = false;
        } else {
            if (!ReadRow(chunk, source, chunk.RowLength))
                return;
            nextRestored = RestoreRows(st, source, pairs, r + 1 == st.Height);
        }
        if ((r & skipMask) == 0) {
            if (d < chunk.DecodeHeight) {
                fill.Row();
                if (!DeliverRow(st, r))
                    return;
            }
            ++d;
            StepRows(st, 1);
        }
        chunk.CurrentIndex ^= 1;
    }
}

void RunAdam7Rows(PngImageDataChunk& chunk, const RowSource& source)
{
    LoopState st;
    if (!Prepare(chunk, true, st))
        return;
    PngImage& image = *st.Image;
    const int32_t lastPass = kLastPass[st.Params.ReductionShift];
    for (int32_t p = 0; p <= lastPass; ++p) {
        if (image.OnProgress && !image.OnProgress(&image, static_cast<uint8_t>(p), lastPass, p * 100 / (lastPass + 1)))
            return;
        st.Pass = p;
        if (RunPass(st, source, lastPass) == PassEnd::Stop)
            return;
    }
}
