// The loader's read-ahead: a FileStream over the caller's stream that reads
// it in blocks, so that walking a file of many small chunks, and stepping
// over the chunks it does not keep, costs one read per block instead of
// several calls per chunk. Positions, sizes and the bytes each read returns
// are those of the stream beneath; only the number of calls changes.
#pragma once

#include <cstdint>

#include "winlayer/base/file_stream.h"

// One block. The image-data reader takes its compressed input straight out
// of it (InPlaceInput), so with the reader's window of at most 48 KB what a
// load holds beyond the image buffers and zlib's own state stays at 64 KB
// plus the row buffers.
constexpr uint32_t kReadAheadSize = 16384;

// What a reader that takes its input in place sees of the read-ahead: the
// loader hands it to the image-data handler (PngImage::LoadInput) for the
// stream it walks.
class InPlaceInput {
public:
    // Up to count of the next bytes where they lie in the block, refilling
    // it once it is used up; fewer than count where the block ends, 0 only
    // at the end of the source. They stay there until the next read of any
    // kind.
    virtual uint32_t View(uint32_t count, uint8_t*& bytes) = 0;
    // The bytes the source holds from the stream's position on.
    virtual uint32_t Left() const = 0;

protected:
    ~InPlaceInput() = default;
};

class ReadAheadStream : public FileStream, public InPlaceInput {
public:
    FileStream* Source = nullptr;  // not owned
    uint8_t* Buffer = nullptr;     // kReadAheadSize bytes
    // Buffer[0, Filled) holds the source's bytes from BufferStart on, and the
    // source stands at BufferStart + Filled; this stream at BufferStart + Offset.
    uint32_t BufferStart = 0;
    uint32_t Filled = 0;
    uint32_t Offset = 0;
    // Asked once: a file does not change size while it is read.
    uint32_t SourceSize = 0;

    // Leaves the source where this stream stands, then the object teardown.
    void Destroy() override;
    uint32_t View(uint32_t count, uint8_t*& bytes) override;
    uint32_t Left() const override;

protected:
    ~ReadAheadStream() override = default;
};

// None when its memory cannot be had: the caller then reads the source itself.
ReadAheadStream* OpenReadAhead(FileStream& source);
