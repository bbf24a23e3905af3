// Hostile contents for the view's six file names, made from the sample
// pictures by cutting, flipping and patching their bytes, and what the view
// must show after loading each one.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

enum class Variant {
    Valid,
    BadCrc,               // one chunk's CRC wrong: the view loads without checking
    CutBeforeEnd,         // the file ends where IEND starts
    CutInSignature,
    CutInHeader,          // ends inside the IHDR chunk
    CutInImageData,       // ends inside an IDAT chunk's data
    FlippedImageData,     // a few bits of the compressed data changed
    BadZlibHeader,
    HugeLength,           // a chunk length of 2^31 or more
    UnsupportedFormat,    // a colour type or bit depth the standard does not allow
    HugeDimensions,       // a header asking for more memory than exists
    WideDimensions,       // a header asking for a wide picture the data does not fill
    Empty,                // zero bytes
    Missing,              // no file at all
};
constexpr int kVariantCount = static_cast<int>(Variant::Missing) + 1;

enum class Shows {
    Picture,    // the source sample, exactly as the oracle decodes it
    HostAlone,  // nothing of the file: the captured host pixels only
    Anything,   // undefined pixels; the process must only survive it
};

struct StressFile {
    Variant Kind = Variant::Missing;
    int Source = 0;  // index into kImageFiles of the sample the bytes came from
    std::vector<uint8_t> Bytes;
    Shows Expect = Shows::HostAlone;

    std::string Describe() const;
};

// The folder of the test program, where the samples are, with a slash.
std::string ProgramFolder();
// The bytes of one sample picture; read once from the program's folder.
const std::vector<uint8_t>& SampleBytes(int source);

// A file of the given kind made from the sample; random picks the cut
// point, the chunk or the bits.
StressFile MakeStressFile(Variant kind, int source, std::minstd_rand& random);
// A file of a random kind from a random sample.
StressFile RandomStressFile(std::minstd_rand& random);

// Writes the file (deletes it for Missing); false when that failed.
bool PlaceStressFile(const std::string& path, const StressFile& file);

// The sample with empty unknown ancillary chunks after its header, about
// floodBytes of them: a decoder that keeps or looks up every chunk spends
// far more than the file's size on it. Made at test time, never kept.
bool PlaceFloodFile(const std::string& path, int source, uint64_t floodBytes);
