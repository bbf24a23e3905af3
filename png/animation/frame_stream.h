// One frame of an animation as the PNG file it would be on its own: the
// signature, a header with the frame's size, the file's palette,
// transparency and gamma chunks, the frame's data as "IDAT" chunks, then
// "IEND". The loader reads it as any other file, so every colour type,
// depth, filter, converter and gamma rule of a picture holds for the frames
// unchanged, and the frame's data comes from the file as the loader asks
// for it: nothing of it is held beyond the loader's own read-ahead.
#pragma once

#include <cstdint>

#include "png/animation/animation.h"
#include "png/animation/chunk_walk.h"
#include "winlayer/base/file_stream.h"

class FrameStream : public FileStream {
public:
    FileStream* Source = nullptr;  // not owned
    // Signature, header and tables.
    uint8_t Prefix[8 + 25 + sizeof(AnimationLayout::Tables)] = {};
    uint32_t PrefixSize = 0;
    // The frame's data chunks: "fdAT" from FirstSequence on, whose data
    // begins after the sequence number, or the "IDAT" run.
    uint32_t FirstData = 0;
    bool FrameData = false;
    uint32_t FirstSequence = 0;
    uint32_t Size = 0;     // of the whole stream as the loader sees it
    uint32_t DataEnd = 0;  // in the source: where the chunk after the data begins

    // Where reading stands: the stream's position, and the data chunk it
    // lies in or the last one before it.
    uint64_t Offset = 0;
    ChunkHead Chunk;
    uint32_t ChunkIndex = 0;
    uint64_t ChunkStart = 0;  // the stream's position of that chunk's length field

protected:
    ~FrameStream() override = default;
};

// None when the memory cannot be had. The data chunks from firstData on
// must have been checked by the structure walk; one that does not continue
// the frame ends its data all the same.
FrameStream* OpenFrameStream(FileStream& source, const AnimationLayout& layout, const FrameControl& frame,
                             uint32_t firstData, bool frameData);
