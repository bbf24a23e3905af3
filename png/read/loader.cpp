// Reading a PNG file: the signature, then chunk after chunk, each framed by
// its length, type and CRC (PNG standard, section 5), handed to the load
// handler of its kind.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "png/image.h"
#include "png/read/chunk_frame.h"
#include "png/read/read_ahead.h"

namespace {

// What one load keeps of the chunks that may repeat (unknown kinds, "tEXt",
// "tIME"): each costs an object, a list entry and its data, so a file of
// millions of tiny chunks would cost far more time and memory than its
// size. The numbers are libpng's own defaults (PNG_USER_CHUNK_CACHE_MAX and
// PNG_USER_CHUNK_MALLOC_MAX), which no ordinary file comes near; chunks
// beyond them are stepped over unread, as "cHRM" is, and the load goes on.
constexpr int32_t kMaxRepeatableChunks = 1000;
constexpr uint32_t kMaxAncillaryDataSize = 8u << 20;

bool ReadExactly(FileStream& stream, void* buffer, uint32_t count)
{
    return stream.Read(buffer, count) == count;
}

}  // namespace

bool PngImage::LoadFromFile(const char* fileName)
{
    FileStream* stream = OpenReadFileStream(fileName);
    // Without memory for the stream the file reads as one that cannot be opened.
    if (!stream) {
        Status = PngStatus::BadSignature;
        Clear();
        return false;
    }
    bool result = LoadFromStream(*stream);
    Release(stream);
    return result;
}

namespace {

// Where the chunk loop stands while one load runs.
struct LoadState {
    uint32_t Start = 0;
    bool ImageDataMet = false;
    int32_t RepeatableKept = 0;
};

enum class Step { Next, Leave, Fail };

bool CallProgress(PngImage& image, FileStream& stream, const LoadState& state)
{
    if (!image.OnProgress)
        return true;
    int64_t size = stream.Size();
    // A chunk skipped by seeking can leave the position past the end (or a
    // failed seek at 0xFFFFFFFF): the report stays within 0 to 100.
    int64_t end = std::max<int64_t>(size, state.Start);
    int64_t done = std::clamp<int64_t>(stream.Position(), state.Start, end) - state.Start;
    int64_t total = size - state.Start;
    // An empty or unsized stream would divide by zero.
    int32_t percent = total > 0 ? static_cast<int32_t>(done * 100 / total) : 0;
    return image.OnProgress(&image, 0, 0, percent);
}

// A length the stream cannot hold (or one beyond the standard's limit) would
// size a buffer from a corrupt or truncated file; image data is exempt from
// the stream test because its reader allocates nothing by the length and
// decodes what a truncated file still holds.
bool LengthFits(FileStream& stream, uint32_t length, const ChunkName& type)
{
    if (length > kMaxChunkLength)
        return false;
    if (type == ChunkName("IDAT"))
        return true;
    uint64_t position = stream.Position();
    uint64_t size = stream.Size();
    return position <= size && length <= size - position;
}

bool MayRepeat(ChunkKind kind)
{
    return kind == ChunkKind::Other || kind == ChunkKind::Text || kind == ChunkKind::Time;
}

// Stepped over without an object: "cHRM", image data after its sequence, and
// repeatable chunks beyond the limits above. The kinds kept once are never
// dropped here: a second one still refuses the load.
bool SteppedOver(LoadState& state, uint32_t length, const ChunkName& type)
{
    if (type == ChunkName("cHRM"))
        return true;
    if (type == ChunkName("IDAT"))
        return state.ImageDataMet;
    if (!MayRepeat(KindOf(type)))
        return false;
    // Bit 5 of the first letter (lower case) marks an ancillary chunk (PNG
    // standard, section 5.4): the picture never needs its data.
    bool ancillary = (type.Bytes[0] & 0x20) != 0;
    if (state.RepeatableKept >= kMaxRepeatableChunks || (ancillary && length > kMaxAncillaryDataSize))
        return true;
    ++state.RepeatableKept;
    return false;
}

Step LoadChunk(PngImage& image, FileStream& stream, LoadState& state, uint32_t length, const ChunkName& type)
{
    bool isImageData = type == ChunkName("IDAT");
    if (SteppedOver(state, length, type)) {
        stream.SetPosition(static_cast<uint32_t>(stream.Position() + uint64_t{length} + 4));
        return Step::Next;
    }
    if (isImageData)
        state.ImageDataMet = true;
    PngChunk* chunk = image.CreateChunk(type);
    if (!chunk) {
        image.Status = PngStatus::ChunkRefused;
        return Step::Fail;
    }
    if (!chunk->Load(stream, length))
        return Step::Leave;
    if (state.ImageDataMet && image.Reduction != 0)
        return Step::Leave;
    return type == ChunkName("IEND") ? Step::Leave : Step::Next;
}

// The stream ended, or framed a chunk it cannot hold: what was decoded
// before stays, as for a missing "IEND".
bool EndedEarly(PngImage& image)
{
    image.Status = PngStatus::MissingLength;
    return image.HasHeader() && image.FindChunk("IDAT") != nullptr;
}

bool WalkChunks(PngImage& image, FileStream& stream, LoadState& state)
{
    for (;;) {
        if (!CallProgress(image, stream, state))
            break;
        ChunkFrame frame;
        if (!ReadChunkFrame(stream, frame))
            return EndedEarly(image);
        if (image.Chunks->Count == 0 && !(frame.Type == ChunkName("IHDR"))) {
            image.Status = PngStatus::HeaderNotFirst;
            return false;
        }
        if (!LengthFits(stream, frame.Length, frame.Type))
            return EndedEarly(image);
        Step step = LoadChunk(image, stream, state, frame.Length, frame.Type);
        if (step == Step::Fail)
            return false;
        if (step == Step::Leave)
            break;
    }
    if (state.ImageDataMet)
        return true;
    image.Status = PngStatus::NoImageData;
    return false;
}

}  // namespace

bool PngImage::LoadFromStream(FileStream& source)
{
    // Without memory for the read-ahead the stream is read as it is.
    ReadAheadStream* readAhead = OpenReadAhead(source);
    FileStream& stream = readAhead ? *readAhead : source;
    Status = PngStatus::Ok;
    LoadState state;
    state.Start = stream.Position();
    Clear();
    uint8_t signature[8];
    if (!ReadExactly(stream, signature, 8) || std::memcmp(signature, kPngSignature.data(), 8) != 0) {
        Status = PngStatus::BadSignature;
        Release(readAhead);
        return false;
    }
    // In place only where the read-ahead knows where the stream ends: the
    // reader's pieces never run past it (see NextInput in inflate_reader.cpp).
    LoadInput = readAhead && readAhead->SourceSize != 0 ? readAhead : nullptr;
    bool result = WalkChunks(*this, stream, state);
    LoadInput = nullptr;
    // Whatever no row loop wrote reads as zeros, however the load ended.
    if (HasHeader())
        Header()->ZeroUnwritten();
    Release(readAhead);
    return result;
}
