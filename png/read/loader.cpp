// Reading a PNG file: the signature, then chunk after chunk, each framed by
// its length, type and CRC (PNG standard, section 5), handed to the load
// handler of its kind.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "png/image.h"

namespace {

// The PNG standard (section 5.3) limits chunk lengths to 2^31 - 1.
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFFu;

bool ReadExactly(FileStream& stream, void* buffer, uint32_t count)
{
    return stream.Read(buffer, count) == count;
}

}  // namespace

bool PngChunk::SetDataSize(int32_t n)
{
    if (n < 0)
        return false;
    void* resized = std::realloc(Data, static_cast<size_t>(n) + 1);
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
    bool result = LoadFromStream(*stream);
    Release(stream);
    return result;
}

namespace {

// Where the chunk loop stands while one load runs.
struct LoadState {
    uint32_t Start = 0;
    bool ImageDataMet = false;
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

Step LoadChunk(PngImage& image, FileStream& stream, LoadState& state, uint32_t length, const ChunkName& type)
{
    bool isImageData = type == ChunkName("IDAT");
    if (type == ChunkName("cHRM") || (isImageData && state.ImageDataMet)) {
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

}  // namespace

bool PngImage::LoadFromStream(FileStream& stream)
{
    Status = PngStatus::Ok;
    LoadState state;
    state.Start = stream.Position();
    Clear();
    uint8_t signature[8];
    if (!ReadExactly(stream, signature, 8) || std::memcmp(signature, kPngSignature.data(), 8) != 0) {
        Status = PngStatus::BadSignature;
        return false;
    }
    for (;;) {
        if (!CallProgress(*this, stream, state))
            break;
        uint8_t frame[8];
        if (!ReadExactly(stream, frame, 4))
            return EndedEarly(*this);
        uint32_t length = ReadBigEndian32(frame);
        if (!ReadExactly(stream, frame + 4, 4))
            return EndedEarly(*this);
        ChunkName type = ChunkName::FromBytes(frame + 4);
        if (Chunks->Count == 0 && !(type == ChunkName("IHDR"))) {
            Status = PngStatus::HeaderNotFirst;
            return false;
        }
        if (!LengthFits(stream, length, type))
            return EndedEarly(*this);
        Step step = LoadChunk(*this, stream, state, length, type);
        if (step == Step::Fail)
            return false;
        if (step == Step::Leave)
            break;
    }
    if (state.ImageDataMet)
        return true;
    Status = PngStatus::NoImageData;
    return false;
}
