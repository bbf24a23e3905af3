// Reading a PNG file: the signature, then chunk after chunk, each framed by
// its length, type and CRC (PNG standard, section 5), handed to the load
// handler of its kind.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "png/image.h"
#include "png/read/read_ahead.h"
#include "winlayer/base/allocation.h"

namespace {

// The PNG standard (section 5.3) limits chunk lengths to 2^31 - 1.
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFFu;

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

bool PngChunk::SetDataSize(int32_t n)
{
    if (n < 0)
        return false;
    void* resized = ResizeBytes(Data, static_cast<size_t>(n) + 1);
    if (!resized)
        return false;
    Data = static_cast<uint8_t*>(resized);
    DataSize = n;
    return true;
}

void PngChunk::Destroy()
{
    std::free(Data);
    Data = nullptr;
    DataSize = 0;
    Obj::Destroy();
}

bool PngChunk::ReadChunkData(FileStream& stream, uint32_t length)
{
    // The loader refuses lengths the stream cannot hold before any handler
    // runs; this guards direct callers all the same.
    if (length > kMaxChunkLength || !SetDataSize(static_cast<int32_t>(length))) {
        Owner->Status = PngStatus::MissingLength;
        return false;
    }
    // A short read leaves the rest of Data as it was; the CRC then decides.
    if (length > 0)
        stream.Read(Data, length);
    uint8_t stored[4] = {};
    stream.Read(stored, 4);
    // Without StrictCrc a mismatch is ignored: nothing to compute.
    if (!Owner->StrictCrc)
        return true;
    uint32_t crc = UpdateCrc(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(Name.Bytes.data()), 4);
    crc = UpdateCrc(crc, Data, static_cast<size_t>(DataSize)) ^ 0xFFFFFFFFu;
    if (crc == ReadBigEndian32(stored))
        return true;
    Owner->Status = PngStatus::CrcMismatch;
    return false;
}

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
        // Length and type in one read: a stream that ends inside either ends
        // the load the same way.
        uint8_t frame[8];
        if (!ReadExactly(stream, frame, 8))
            return EndedEarly(image);
        uint32_t length = ReadBigEndian32(frame);
        ChunkName type = ChunkName::FromBytes(frame + 4);
        if (image.Chunks->Count == 0 && !(type == ChunkName("IHDR"))) {
            image.Status = PngStatus::HeaderNotFirst;
            return false;
        }
        if (!LengthFits(stream, length, type))
            return EndedEarly(image);
        Step step = LoadChunk(image, stream, state, length, type);
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
    bool result = WalkChunks(*this, stream, state);
    // Whatever no row loop wrote reads as zeros, however the load ended.
    if (HasHeader())
        Header()->ZeroUnwritten();
    Release(readAhead);
    return result;
}
