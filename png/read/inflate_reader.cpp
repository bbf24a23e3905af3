// Reading the image data: one zlib stream cut into consecutive "IDAT" chunks
// (PNG standard, sections 10 and 11.2.4), inflated from the file stream a
// window at a time and handed to the row loops one filtered row at a time.
//
// Each read (ReadDecompressed, png/read/decode.h) returns what a reader
// inflating straight into the row would return, whatever the window holds:
// count bytes, fewer once the data runs out, -1 on failure. The stream's end
// and a failure are reported by the read that reaches them, however far
// ahead of the rows inflate met them.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "png/read/adler32.h"
#include "png/read/chunk_frame.h"
#include "png/read/decode.h"
#include "png/read/read_ahead.h"

namespace {

const ChunkName kImageData("IDAT");

int32_t Fail(PngImageDataChunk& chunk, InflateContext& context, PngStatus status)
{
    chunk.Owner->Status = status;
    context.Failed = true;
    return -1;
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
    uint32_t stored = 0;
    ChunkFrame next;
    const uint32_t got = ReadCrcAndFrame(*context.Stream, stored, next);
    context.Position += got;
    if (got >= 4 && chunk.Owner->StrictCrc && !CrcMatches(crc, stored)) {
        Fail(chunk, context, PngStatus::CrcMismatch);
        return Input::Failed;
    }
    // A stream that ends inside the framing holds no further chunk at all:
    // the data ran out, it did not go on in another chunk.
    if (got < 12) {
        context.CrcConsumed = context.CrcConsumed || got >= 4;  // later reads meet the end again
        return Input::RanOut;
    }
    if (!(next.Type == kImageData)) {
        Fail(chunk, context, PngStatus::DataNotContinued);
        return Input::Failed;
    }
    // Only StrictCrc ever compares the register (see AddToCrc).
    crc = chunk.Owner->StrictCrc ? StartChunkCrc(next.Type) : 0xFFFFFFFFu;
    dataEnd = EndOfData(context.Position, next.Length);
    return Input::Ready;
}

// The last (up to four) bytes inflate took of the input buffer, after those
// of earlier parts, big-endian: at the stream's end, its check value.
uint32_t LastFourTaken(const InflateContext& context)
{
    uint32_t recent = context.Recent;
    const uint8_t* end = context.Zlib.next_in;
    const uint8_t* from = end - std::min<ptrdiff_t>(end - context.Input, 4);
    for (const uint8_t* p = from; p < end; ++p)
        recent = recent << 8 | *p;
    return recent;
}

// Sums what a call made; at the stream's end a sum that differs from the
// stream's check value is the failure zlib's own check would have reported.
int CheckResult(InflateContext& context, int result, const uint8_t* made, uint32_t count)
{
    if (count > 0)
        context.Adler = UpdateAdler(context.Adler, made, count);
    if (result == Z_STREAM_END && LastFourTaken(context) != context.Adler)
        return Z_DATA_ERROR;
    return result;
}

// Keeps the last four bytes inflate took in Recent before any read moves on:
// the next read may refill the read-ahead block they lie in.
void KeepRecent(InflateContext& context)
{
    if (!context.Zlib.next_in)
        return;
    context.Recent = LastFourTaken(context);
    context.Input = context.Zlib.next_in;
}

// Up to wanted bytes of the stream at Input: seen in place in the
// read-ahead block, or read into the part buffer.
uint32_t TakeInput(InflateContext& context, uint32_t wanted)
{
    uint32_t got = 0;
    if (context.Borrowed) {
        got = context.Borrowed->View(wanted, context.Input);
    } else {
        context.Input = context.Part;
        got = context.Stream->Read(context.Part, wanted);
    }
    context.Position += got;
    return got;
}

// The next part of the current piece at Input; false when nothing came. A
// short read means the stream ended, and the piece with it, as one read of
// the whole piece would have ended there. A view of the block is short
// where the block ends, but the piece never runs past the stream's end
// (NextInput), so only an empty view means the end.
bool ReadPart(PngImageDataChunk& chunk, InflateContext& context, uint32_t& crc)
{
    const uint32_t wanted = std::min(kInflatePartSize, context.PieceLeft);
    KeepRecent(context);
    const uint32_t got = TakeInput(context, wanted);
    const bool ended = context.Borrowed ? got == 0 : got < wanted;
    context.PieceLeft = ended ? 0 : context.PieceLeft - got;
    if (got == 0)
        return false;
    AddToCrc(chunk, crc, context.Input, got);
    context.Held = context.PieceLeft == 0 ? 1 : 0;
    context.Zlib.next_in = context.Input;
    context.Zlib.avail_in = got - context.Held;
    return true;
}

// Input for a row that needs bytes: the rest of the current piece, or a new
// piece, never across the end of a chunk's data, so the CRC register covers
// exactly the current chunk. The window does not change the pieces: a new
// one is taken only when a row needs bytes and the last is used up, so
// inflate sees the same input at the same reads as without a window.
Input NextInput(PngImageDataChunk& chunk, InflateContext& context, uint32_t& dataEnd, uint32_t& crc)
{
    KeepRecent(context);
    if (context.PieceLeft > 0)
        return ReadPart(chunk, context, crc) ? Input::Ready : Input::RanOut;
    // An empty "IDAT" chunk is stepped over like any other used-up chunk;
    // each step consumes 12 bytes of the stream, so this ends.
    while (context.Position >= dataEnd) {
        Input step = StepToNextChunk(chunk, context, dataEnd, crc);
        if (step != Input::Ready)
            return step;
    }
    context.PieceLeft = std::min(kInflateInputSize, dataEnd - context.Position);
    if (context.Borrowed)
        context.PieceLeft = std::min(context.PieceLeft, context.Borrowed->Left());
    context.TailReleased = false;
    return ReadPart(chunk, context, crc) ? Input::Ready : Input::RanOut;
}

// From here on inflate may take the piece's last byte, and does so straight
// into the rows.
void ReleaseTail(InflateContext& context)
{
    context.Zlib.avail_in += context.Held;
    context.Held = 0;
    context.TailReleased = true;
}

// Whether inflate reports this failure only when it has room for output.
// zlib answers Z_DATA_ERROR for every kind of broken data, and only one
// check waits for room: a match's distance against the history, made when
// the match is copied (a code, a length or a block header is refused as soon
// as it is read). Nothing but its message tells that failure apart, so it
// is matched by the words every zlib build uses for it ("invalid distance
// too far back"); a build that worded it otherwise would still fail the
// load, only at the end of the read that reaches the match rather than at
// the next (inflate_reader_test: AMatchTooFarBack...).
bool NeedsOutputToFail(const z_stream& zlib)
{
    // strncmp, not strstr: the plug-in imports only what its allowlist holds.
    constexpr char kWords[] = "too far back";
    for (const char* p = zlib.msg; p != nullptr && *p != 0; ++p)
        if (std::strncmp(p, kWords, sizeof kWords - 1) == 0)
            return true;
    return false;
}

// What inflate meets ahead of the rows (the stream's end, a failure) waits
// in Ahead until the reads reach it.
void NoteAhead(InflateContext& context, InflateEvent event, uint64_t at, bool needsOutput)
{
    context.Ahead = event;
    context.AheadAt = at;
    context.AheadNeedsOutput = needsOutput;
}

// Inflates into the window, behind the bytes not yet taken (moved to its
// front), until it is full, inflate meets the end of the stream or a
// failure, or the current piece is used up: parts of the piece are read as
// inflate needs them, a new piece never.
void FillWindow(PngImageDataChunk& chunk, InflateContext& context, uint32_t& crc)
{
    z_stream& zlib = context.Zlib;
    const uint32_t kept = context.WindowEnd - context.WindowBegin;
    if (kept > 0)
        std::memmove(context.Window, context.Window + context.WindowBegin, kept);
    context.WindowBegin = 0;
    context.WindowEnd = kept;
    zlib.next_out = context.Window + kept;
    zlib.avail_out = context.WindowSize - kept;
    for (;;) {
        if (zlib.avail_in == 0 && (context.PieceLeft == 0 || !ReadPart(chunk, context, crc) || zlib.avail_in == 0))
            return;
        const uInt inBefore = zlib.avail_in, outBefore = zlib.avail_out;
        int result = inflate(&zlib, Z_NO_FLUSH);
        const uint32_t made = outBefore - zlib.avail_out;
        result = CheckResult(context, result, context.Window + context.WindowEnd, made);
        context.Produced += made;
        context.WindowEnd += made;
        if (result == Z_STREAM_END)
            return NoteAhead(context, InflateEvent::StreamEnd, context.Produced, false);
        // The window is allocated by the first call that makes output: the
        // read being served is the one whose call would have failed.
        if (result == Z_MEM_ERROR)
            return NoteAhead(context, InflateEvent::Failure, context.Taken, false);
        // Z_NEED_DICT and Z_BUF_ERROR are not negative but are failures all
        // the same; a call that moved nothing would loop for ever.
        if (result != Z_OK || (zlib.avail_in == inBefore && made == 0))
            return NoteAhead(context, InflateEvent::Failure, context.Produced, NeedsOutputToFail(zlib));
        if (zlib.avail_out == 0)
            return;
    }
}

// One inflate call straight into the row, as the row-by-row reader makes
// it: the bytes made, or -1 on failure.
int32_t InflateIntoRow(PngImageDataChunk& chunk, InflateContext& context, uint8_t* buffer, int32_t count)
{
    z_stream& zlib = context.Zlib;
    zlib.next_out = buffer;
    zlib.avail_out = static_cast<uInt>(count);
    const uInt inBefore = zlib.avail_in;
    int result = inflate(&zlib, Z_NO_FLUSH);
    const int32_t made = count - static_cast<int32_t>(zlib.avail_out);
    result = CheckResult(context, result, buffer, static_cast<uint32_t>(made));
    context.Produced += static_cast<uint32_t>(made);
    context.Taken += static_cast<uint32_t>(made);
    if (result == Z_STREAM_END)
        context.Finished = true;
    else if (result != Z_OK || (zlib.avail_in == inBefore && made == 0))
        return Fail(chunk, context, PngStatus::InflateError);
    return made;
}

// A read filled from the window ends where inflate stopped for want of the
// held byte (not at something it met, which waits in Ahead): the row-by-row
// reader's inflate would have gone on into it within this read, past the
// full row, until it needed output or input. False when it would have
// failed there.
bool FinishRead(PngImageDataChunk& chunk, InflateContext& context)
{
    z_stream& zlib = context.Zlib;
    if (context.WindowBegin != context.WindowEnd || zlib.avail_in != 0 || context.Held == 0 ||
        context.Ahead != InflateEvent::None)
        return true;
    ReleaseTail(context);
    zlib.next_out = context.Window;
    zlib.avail_out = 0;
    const int result = CheckResult(context, inflate(&zlib, Z_NO_FLUSH), nullptr, 0);
    if (result == Z_STREAM_END)
        context.Finished = true;
    // Z_BUF_ERROR: nothing moved, inflate waits for output as it would have.
    else if (result != Z_OK && result != Z_BUF_ERROR)
        return Fail(chunk, context, PngStatus::InflateError) == 0;
    return true;
}

int32_t TakeFromWindow(InflateContext& context, uint8_t* buffer, int32_t wanted)
{
    const uint32_t n = std::min(context.WindowEnd - context.WindowBegin, static_cast<uint32_t>(wanted));
    std::memcpy(buffer, context.Window + context.WindowBegin, n);
    TakePeeked(context, static_cast<int32_t>(n));
    return static_cast<int32_t>(n);
}

// Inside this read, or at its very end for what inflate meets without
// output being asked for. A reader inflating into the row meets the event
// within the read whose bytes reach its position, or at the end of the read
// that ends exactly there (inflate goes on past a full row until it needs
// output or input), unless output had to be asked for: a match reaching too
// far back is only checked when there is room to copy it.
bool AheadDecides(const InflateContext& context, uint64_t end)
{
    return context.Ahead != InflateEvent::None &&
           (context.AheadAt < end || (context.AheadAt == end && !context.AheadNeedsOutput));
}

int32_t HandOutAhead(PngImageDataChunk& chunk, InflateContext& context, int32_t got)
{
    if (context.Ahead == InflateEvent::StreamEnd) {
        context.Finished = true;
        return got;
    }
    return Fail(chunk, context, PngStatus::InflateError);
}

}  // namespace

void FinishChunkData(PngImageDataChunk& chunk, InflateContext& context, uint32_t dataEnd, uint32_t& crc)
{
    while (context.Window && context.Position < dataEnd) {
        const uint32_t got = TakeInput(context, std::min(kInflatePartSize, dataEnd - context.Position));
        if (got == 0)
            return;
        AddToCrc(chunk, crc, context.Input, got);
    }
}

uint8_t* PeekBuffered(PngImageDataChunk& chunk, InflateContext& context, int32_t count, uint32_t& crc)
{
    if (count <= 0 || context.Finished || context.Failed || !context.Started)
        return nullptr;
    // More than count: the window is not emptied, so FinishRead has nothing to do.
    const uint32_t n = static_cast<uint32_t>(count);
    // Topped up from the current piece as a read would fill it, only sooner;
    // never moving more bytes to the front than the rows taken have freed,
    // so that peeks that come to nothing cost at most a copy of each byte.
    const uint32_t kept = context.WindowEnd - context.WindowBegin;
    if (kept <= n && kept <= context.WindowBegin && n < context.WindowSize &&
        context.Ahead == InflateEvent::None && !context.TailReleased &&
        (context.Zlib.avail_in > 0 || context.PieceLeft > 0))
        FillWindow(chunk, context, crc);
    if (context.WindowEnd - context.WindowBegin <= n || AheadDecides(context, context.Taken + n))
        return nullptr;
    return context.Window + context.WindowBegin;
}

void TakePeeked(InflateContext& context, int32_t count)
{
    context.WindowBegin += static_cast<uint32_t>(count);
    context.Taken += static_cast<uint32_t>(count);
}

int32_t ReadDecompressed(PngImageDataChunk& chunk, InflateContext& context, uint8_t* buffer, int32_t count,
                         uint32_t& dataEnd, uint32_t& crc)
{
    if (count <= 0 || context.Finished)
        return 0;
    // A failed read leaves the stream where the failure stood, inside a
    // chunk that is not image data: reading on from there would take that
    // chunk's bytes for framing and data, and under StrictCrc its bytes for
    // a CRC that then "mismatches". The first failure's status stands.
    if (context.Failed)
        return -1;
    if (!context.Started)
        return Fail(chunk, context, PngStatus::InflateError);
    const uint64_t end = context.Taken + static_cast<uint64_t>(count);
    z_stream& zlib = context.Zlib;
    int32_t got = 0;
    for (;;) {
        got += TakeFromWindow(context, buffer + got, count - got);
        if (AheadDecides(context, end))
            return HandOutAhead(chunk, context, got);
        if (got == count)
            return FinishRead(chunk, context) ? count : -1;
        if (zlib.avail_in == 0 && context.Held == 0) {
            Input input = NextInput(chunk, context, dataEnd, crc);
            if (input == Input::Failed)
                return -1;
            if (input == Input::RanOut)
                return got;
        }
        if (!context.TailReleased && zlib.avail_in > 0) {
            FillWindow(chunk, context, crc);
            continue;
        }
        // Only the piece's last byte is left: straight into the row.
        ReleaseTail(context);
        const int32_t made = InflateIntoRow(chunk, context, buffer + got, count - got);
        if (made < 0)
            return -1;
        got += made;
        if (context.Finished || got == count)
            return got;
    }
}
