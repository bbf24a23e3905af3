// The image-data reader: one zlib stream across the "IDAT" chunks, inflated
// a window at a time, read by the row loops (png/rows/row_loops.h) one
// filtered row at a time through the row source that image_data.cpp makes
// of ReadDecompressed, PeekBuffered and TakePeeked.
//
// The contract: every read returns what a reader inflating straight into
// the row would return, from the same input at the same reads. That reader
// takes compressed input in pieces of at most kInflateInputSize bytes that
// never cross a chunk's end, a new piece only when a row needs bytes and the
// last piece is used up. On good data the window could read ahead freely;
// the rule is there for broken and cut-short data, where it is what decides
// the results: which row is the last one delivered (and so which pixels a
// truncated or corrupt file still shows), the status (InflateError against
// a CRC or framing status met in a later chunk), and the progress and
// scanline events before the failure. A reader that took its input in
// other pieces would run out of input, or meet a failure, at another row.
// So the window only ever fills from the current piece, events inflate
// meets ahead of the rows wait until the reads reach them (InflateEvent),
// and the piece's last byte is held back so that inflate runs out exactly
// where the row-by-row reader's inflate would (Held, TailReleased).
// inflate_reader_test holds the reader to a row-by-row reference over broken
// streams cut into chunks of every size.
#pragma once

#include <zlib.h>

#include <cstdint>

#include "png/image.h"

class InPlaceInput;

// The row-by-row reader's piece of compressed input: at most this size, and
// never across the end of a chunk's data (see above).
constexpr uint32_t kInflateInputSize = 65535;

// A piece is read from the stream in parts of at most this size: where the
// loader shares its read-ahead block (PngImage::LoadInput), in place;
// otherwise into a buffer of this size. The piece's bytes all count as one
// piece all the same.
constexpr uint32_t kInflatePartSize = 16384;

// Inflated bytes wait here until the row loops take them: inflate then runs
// over many rows per call instead of one, with its fast loop to the end of
// the window rather than stopping short of every row's end.
constexpr uint32_t kInflateWindowSize = 32768;

// Something inflate met while filling the window, ahead of the rows taken so
// far: handed out only when the row loops' reads reach it, as a reader
// inflating one row per call would have met it (see ReadDecompressed).
enum class InflateEvent : uint8_t { None, StreamEnd, Failure };

// The zlib stream, the input and window buffers and the stream it reads
// from; exists for one run of the image-data handler.
class InflateContext {
public:
    z_stream Zlib{};
    uint8_t* Input = nullptr;   // the part inflate reads: in Borrowed's block, or Part
    uint8_t* Part = nullptr;    // kInflatePartSize bytes, only without a read-ahead
    uint8_t* Window = nullptr;  // WindowSize bytes
    uint32_t WindowSize = kInflateWindowSize;
    InPlaceInput* Borrowed = nullptr;  // Stream's block, when the loader shares it
    uint32_t WindowBegin = 0;   // the bytes not yet taken: [WindowBegin, WindowEnd)
    uint32_t WindowEnd = 0;
    uint32_t PieceLeft = 0;     // bytes of the current piece not yet read from the stream
    // The last byte of each piece is kept from inflate while it fills the
    // window (Held), and released (TailReleased) when the rows reach the
    // point where inflate needs it: inflate then runs into the row itself,
    // so the piece runs out at the very read it would have run out at.
    uint32_t Held = 0;
    bool TailReleased = false;
    // zlib's check of the stream is off: the reader sums the inflated bytes
    // itself (Adler-32, RFC 1950) and compares at the stream's end, where
    // zlib would have, with the last four input bytes inflate took (Recent
    // keeps those of earlier input parts).
    uint32_t Adler = 1;
    uint32_t Recent = 0;
    uint64_t Produced = 0;      // bytes inflate has written so far
    uint64_t Taken = 0;         // bytes the row loops have taken
    InflateEvent Ahead = InflateEvent::None;
    uint64_t AheadAt = 0;       // Produced when the event was met
    bool AheadNeedsOutput = false;  // met only once output is asked for at AheadAt
    FileStream* Stream = nullptr;
    // The stream's position, kept here so that no row costs a seek to ask it.
    uint32_t Position = 0;
    bool Started = false;   // inflateInit succeeded and the buffers exist
    bool Finished = false;  // the zlib stream has ended; nothing more comes
    bool Failed = false;    // a read failed and set the image's Status
    // The stream ended in the framing after the last chunk's CRC, which the
    // step to a next chunk has already read (and checked under StrictCrc).
    bool CrcConsumed = false;
};

// False (Started false) when zlib or the input buffer cannot be had; the
// first read then fails with InflateError. blocks, when given, is stream's
// own read-ahead block, which the input is then taken from in place.
bool OpenInflate(FileStream& stream, InflateContext& context, uint32_t windowSize = kInflateWindowSize,
                 InPlaceInput* blocks = nullptr);
void CloseInflate(InflateContext& context);

// Reads the rest of the current chunk's data (after the last row, the zlib
// trailer or bytes after the stream may remain) through the CRC register,
// so that the CRC that follows is read where it stands.
void FinishChunkData(PngImageDataChunk& chunk, InflateContext& context, uint32_t dataEnd, uint32_t& crc);

// Fills count bytes of buffer with inflated image data, stepping from one
// "IDAT" chunk to the next by itself. Returns count when the buffer was
// filled, fewer (possibly 0) when the data ran out, -1 on failure with the
// image's Status set; every read after a failure returns -1 again without
// touching the stream or the Status. crc is the running, uncomplemented CRC
// register of the "IDAT" chunk being read; dataEnd the position where its
// data ends.
int32_t ReadDecompressed(PngImageDataChunk& chunk, InflateContext& context, uint8_t* buffer, int32_t count,
                         uint32_t& dataEnd, uint32_t& crc);

// The next count bytes where they lie in the window, not yet taken, only
// when the window holds them and more (topped up from the current piece if
// need be, as the reads would fill it) and nothing inflate met waits at or
// before their end; none otherwise. TakePeeked then takes them: that read
// is exactly what ReadDecompressed would do (no event), without the copy.
// Until the next read or peek they stay where they are, and the caller may
// change them (inflate keeps its own history).
uint8_t* PeekBuffered(PngImageDataChunk& chunk, InflateContext& context, int32_t count, uint32_t& crc);
void TakePeeked(InflateContext& context, int32_t count);

