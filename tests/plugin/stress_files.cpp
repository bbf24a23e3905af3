#include "tests/plugin/stress_files.h"

#include <windows.h>

#include <array>
#include <fstream>
#include <iterator>

#include "plugin/view.h"

namespace {

struct ChunkAt {
    size_t Offset = 0;  // of its length field
    uint32_t Length = 0;
    std::string Type;
};

uint32_t ReadBig32(const std::vector<uint8_t>& bytes, size_t at)
{
    return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

void WriteBig32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

std::vector<ChunkAt> ChunksOf(const std::vector<uint8_t>& bytes)
{
    std::vector<ChunkAt> chunks;
    for (size_t at = 8; at + 12 <= bytes.size();) {
        ChunkAt chunk{at, ReadBig32(bytes, at), std::string(bytes.begin() + at + 4, bytes.begin() + at + 8)};
        chunks.push_back(chunk);
        at += 12 + size_t{chunk.Length};
    }
    return chunks;
}

size_t Pick(std::minstd_rand& random, size_t count) { return random() % count; }

template <typename T, size_t N>
T PickOf(std::minstd_rand& random, const std::array<T, N>& values)
{
    return values[Pick(random, N)];
}

const ChunkAt& PickImageData(const std::vector<ChunkAt>& chunks, std::minstd_rand& random)
{
    std::vector<const ChunkAt*> data;
    for (const ChunkAt& chunk : chunks)
        if (chunk.Type == "IDAT" && chunk.Length > 0)
            data.push_back(&chunk);
    return *data[Pick(random, data.size())];
}

const ChunkAt& FindChunk(const std::vector<ChunkAt>& chunks, const char* type)
{
    for (const ChunkAt& chunk : chunks)
        if (chunk.Type == type)
            return chunk;
    return chunks.front();
}

void FlipImageData(std::vector<uint8_t>& bytes, const std::vector<ChunkAt>& chunks, std::minstd_rand& random)
{
    const ChunkAt& data = PickImageData(chunks, random);
    for (size_t flips = 1 + Pick(random, 3); flips > 0; --flips)
        bytes[data.Offset + 8 + Pick(random, data.Length)] ^= static_cast<uint8_t>(1u << Pick(random, 8));
}

void BreakZlibHeader(std::vector<uint8_t>& bytes, const std::vector<ChunkAt>& chunks, std::minstd_rand& random)
{
    const size_t first = FindChunk(chunks, "IDAT").Offset + 8;
    if (Pick(random, 2) == 0)
        bytes[first] = static_cast<uint8_t>((bytes[first] & 0xF0) | 7);  // compression method 7, not deflate
    else
        bytes[first + 1] ^= 1;  // CMF * 256 + FLG no longer a multiple of 31
}

void PatchHeader(std::vector<uint8_t>& bytes, Variant kind, std::minstd_rand& random)
{
    // Header data starts at byte 16: width, height, depth (24), colour type (25).
    if (kind == Variant::UnsupportedFormat) {
        if (Pick(random, 2) == 0)
            bytes[25] = PickOf<uint8_t>(random, std::array<uint8_t, 5>{1, 5, 7, 8, 255});
        else
            bytes[24] = PickOf<uint8_t>(random, std::array<uint8_t, 5>{0, 3, 5, 7, 32});
    } else if (kind == Variant::HugeDimensions) {
        const auto huge = std::array<uint32_t, 4>{65535, 65536, 0x80000000u, 0xFFFFFFFFu};
        WriteBig32(bytes, 16, PickOf(random, huge));
        WriteBig32(bytes, 20, PickOf(random, huge));
    } else {
        // Wide or tall, yet small enough that the buffers are granted and drawn.
        WriteBig32(bytes, Pick(random, 2) == 0 ? 16 : 20, 3000 + static_cast<uint32_t>(Pick(random, 3000)));
    }
}

Shows Expected(Variant kind, int source)
{
    switch (kind) {
    case Variant::Valid:
    case Variant::BadCrc:
    case Variant::CutBeforeEnd:
        return Shows::Picture;
    case Variant::CutInSignature:
    case Variant::CutInHeader:
    case Variant::UnsupportedFormat:
    case Variant::HugeDimensions:
    case Variant::Empty:
    case Variant::Missing:
        return Shows::HostAlone;
    case Variant::BadZlibHeader:
        // No row is decoded: transparent where there is alpha, black (the key
        // colour) otherwise. Only the palette sample draws its entry 0.
        return SampleBytes(source)[25] == 3 ? Shows::Anything : Shows::HostAlone;
    default:
        return Shows::Anything;
    }
}

void Damage(std::vector<uint8_t>& bytes, Variant kind, std::minstd_rand& random)
{
    const std::vector<ChunkAt> chunks = ChunksOf(bytes);
    switch (kind) {
    case Variant::BadCrc: {
        const ChunkAt& chunk = chunks[Pick(random, chunks.size())];
        bytes[chunk.Offset + 8 + chunk.Length + Pick(random, 4)] ^= static_cast<uint8_t>(1 + Pick(random, 255));
        break;
    }
    case Variant::CutBeforeEnd: bytes.resize(FindChunk(chunks, "IEND").Offset); break;
    case Variant::CutInSignature: bytes.resize(1 + Pick(random, 7)); break;
    case Variant::CutInHeader: bytes.resize(8 + Pick(random, 25)); break;
    case Variant::CutInImageData: {
        const ChunkAt& data = PickImageData(chunks, random);
        bytes.resize(data.Offset + 8 + Pick(random, data.Length));
        break;
    }
    case Variant::FlippedImageData: FlipImageData(bytes, chunks, random); break;
    case Variant::BadZlibHeader: BreakZlibHeader(bytes, chunks, random); break;
    case Variant::HugeLength: {
        const auto lengths = std::array<uint32_t, 4>{0x7FFFFFFFu, 0x80000000u, 0xFFFFFFF0u, 0xFFFFFFFFu};
        WriteBig32(bytes, chunks[Pick(random, chunks.size())].Offset, PickOf(random, lengths));
        break;
    }
    case Variant::UnsupportedFormat:
    case Variant::HugeDimensions:
    case Variant::WideDimensions: PatchHeader(bytes, kind, random); break;
    case Variant::Empty:
    case Variant::Missing: bytes.clear(); break;
    default: break;
    }
}

}  // namespace

std::string ProgramFolder()
{
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string full(path, length);
    const size_t slash = full.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : full.substr(0, slash + 1);
}

// Read by full name: the current folder is a stress folder for most of the run.
const std::vector<uint8_t>& SampleBytes(int source)
{
    static std::array<std::vector<uint8_t>, kImageFiles.size()> samples;
    std::vector<uint8_t>& bytes = samples[source];
    if (bytes.empty()) {
        std::ifstream in(ProgramFolder() + kImageFiles[source], std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return bytes;
}

std::string StressFile::Describe() const
{
    static const char* const kNames[kVariantCount] = {
        "valid",         "bad CRC",     "cut before IEND", "cut in the signature", "cut in IHDR",
        "cut mid-IDAT",  "flipped IDAT bits", "bad zlib header", "huge chunk length", "unsupported format",
        "huge dimensions", "wide dimensions", "zero bytes", "missing"};
    return std::string(kNames[static_cast<int>(Kind)]) + " (" + std::to_string(Bytes.size()) + " bytes of " +
           kImageFiles[Source] + ")";
}

StressFile MakeStressFile(Variant kind, int source, std::minstd_rand& random)
{
    StressFile file;
    file.Kind = kind;
    file.Source = source;
    file.Bytes = SampleBytes(source);
    if (file.Bytes.size() > 33)
        Damage(file.Bytes, kind, random);
    file.Expect = Expected(kind, source);
    return file;
}

StressFile RandomStressFile(std::minstd_rand& random)
{
    const auto kind = static_cast<Variant>(Pick(random, kVariantCount));
    return MakeStressFile(kind, static_cast<int>(Pick(random, kImageFiles.size())), random);
}

bool PlaceFloodFile(const std::string& path, int source, uint64_t floodBytes)
{
    // An empty "abCD" chunk: length 0, the type, its CRC.
    constexpr std::array<uint8_t, 12> kEmptyChunk = {0, 0, 0, 0, 'a', 'b', 'C', 'D', 0x43, 0x68, 0xC9, 0x7B};
    constexpr size_t kHeaderEnd = 8 + 25;  // the signature and the IHDR chunk
    const std::vector<uint8_t>& sample = SampleBytes(source);
    std::vector<uint8_t> block;
    for (int i = 0; i < 65536; ++i)
        block.insert(block.end(), kEmptyChunk.begin(), kEmptyChunk.end());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(sample.data()), kHeaderEnd);
    for (uint64_t written = 0; written < floodBytes && out; written += block.size())
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
    out.write(reinterpret_cast<const char*>(sample.data() + kHeaderEnd),
              static_cast<std::streamsize>(sample.size() - kHeaderEnd));
    return static_cast<bool>(out);
}

bool PlaceStressFile(const std::string& path, const StressFile& file)
{
    if (file.Kind == Variant::Missing)
        return DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.Bytes.data()), static_cast<std::streamsize>(file.Bytes.size()));
    return static_cast<bool>(out);
}
