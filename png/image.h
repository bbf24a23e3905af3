// A PNG picture as an ordered list of chunk objects. The header chunk owns
// the decoded picture (bitmap header with colour table, bottom-up pixel rows,
// alpha plane); palette and transparency chunks hold the tables drawing needs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "png/format.h"
#include "winlayer/base/byte_string.h"
#include "winlayer/base/file_stream.h"
#include "winlayer/base/obj.h"
#include "winlayer/base/obj_list.h"

struct HDC__;  // the platform's device context, only named here
class InPlaceInput;  // png/read/read_ahead.h

class PngImage;

enum class PngStatus : uint8_t {
    Ok = 0,
    CrcMismatch = 1,         // only when StrictCrc is set
    HeaderTooShort = 2,      // header data below 13 bytes
    SizeTooLarge = 3,        // width or height above 65535
    BadCompression = 4,      // compression method not 0
    BadInterlace = 5,        // interlace method neither 0 nor 1
    BadTableLength = 6,      // palette or transparency table of a wrong length
    DataNotContinued = 7,    // the image data goes on in a chunk that is not "IDAT"
    InflateError = 8,        // zlib refused the data
    BadSignature = 9,        // the 8 signature bytes are missing or wrong
    MissingLength = 10,      // the stream ended where a chunk length was due
    HeaderNotFirst = 11,     // the first chunk is not "IHDR"
    ChunkRefused = 12,       // a second chunk of a kind kept once
    NoImageData = 13,        // the chunk loop ended before any "IDAT"
};

enum class TransparencyMode : uint8_t { none = 0, colourKey = 1, alpha = 2 };

enum class ChunkKind : uint8_t { Other, Header, End, ImageData, Palette, Gamma, Transparency, Text, Time };

ChunkKind KindOf(const ChunkName& name);

// The platform's device-independent bitmap header, little-endian, 40 bytes.
struct DibHeader {
    uint32_t Size;
    int32_t Width;
    int32_t Height;  // positive: rows bottom-up
    uint16_t Planes;
    uint16_t BitCount;
    uint32_t Compression;
    uint32_t SizeImage;
    int32_t XPelsPerMeter;
    int32_t YPelsPerMeter;
    uint32_t ClrUsed;
    uint32_t ClrImportant;
};
static_assert(sizeof(DibHeader) == 40, "the platform's BITMAPINFOHEADER");

// Colour entries are blue, green, red, 0.
struct BitmapInfo {
    DibHeader Header;
    std::array<std::array<uint8_t, 4>, 256> Colors;
};
static_assert(sizeof(BitmapInfo) == 40 + 1024, "BITMAPINFO with a full colour table");

// Every member of the generic chunk is in png/read/chunk_frame.cpp.
class PngChunk : public Obj {
public:
    // Always DataSize + 1 bytes; the spare byte is not set.
    uint8_t* Data = nullptr;
    int32_t DataSize = 0;
    PngImage* Owner = nullptr;
    ChunkName Name;

    // The load handler of the kind; false stops the chunk loop and the owner's
    // Status says why. On entry the stream stands at the first data byte; on
    // true it stands right after the CRC.
    virtual bool Load(FileStream& stream, uint32_t length) { return ReadChunkData(stream, length); }

    // Reads the data and the CRC; false only for a CRC mismatch under StrictCrc.
    bool ReadChunkData(FileStream& stream, uint32_t length);
    // False (and nothing changed) when the memory cannot be had.
    bool SetDataSize(int32_t n);
    int32_t Index() const;

    // Data starts as one byte; Create<T>() answers none when it cannot be had.
    void Init() override;
    bool Complete() const { return Data != nullptr; }
    void Destroy() override;

protected:
    ~PngChunk() override = default;
};

class PngHeaderChunk : public PngChunk {
public:
    void* BitmapSection = nullptr;  // owns the pixel memory; none without buffers
    bool Paletted = false;          // Pixels holds colour-table indices
    BitmapInfo Info = {};           // BitmapInfo: header and colour table
    int32_t BytesPerRow = 0;
    uint8_t* Pixels = nullptr;      // BytesPerRow x ReducedHeight, bottom-up
    uint8_t* AlphaPlane = nullptr;  // formats with alpha: ReducedWidth x ReducedHeight, top-down
    int32_t Width = 0;
    int32_t Height = 0;
    uint8_t BitDepth = 0;
    uint8_t ColorType = 0;
    uint8_t CompressionMethod = 0;
    uint8_t FilterMethod = 0;
    uint8_t InterlaceMethod = 0;

    // Set while the buffers hold memory not yet zero-filled (made so by
    // the header check for a plain picture without a progress handler: the plain row
    // loop writes its rows and zeroes the rest, and the load's end zeroes
    // what no loop did), so they always end as zero-filled buffers would.
    bool Unfilled = false;

    bool Load(FileStream& stream, uint32_t length) override;
    bool CreateImageBuffers(bool zeroFill = true);
    void FreeImageBuffers();
    // Zero-fills unfilled buffers but for what a plain loop wrote: the pixel
    // bytes from pixelLow to pixelHigh and the first alphaWritten bytes of
    // the alpha plane. Nothing once filled.
    void ZeroUnwritten(uint64_t pixelLow = 0, uint64_t pixelHigh = 0, uint64_t alphaWritten = 0);
    void BuildGrayPalette();
    void Destroy() override;

    uint16_t BitCount() const { return Info.Header.BitCount; }
    // Worked out from ColorType and BitDepth whenever asked, so that it
    // always describes the fields as they stand.
    PixelFormat Format() const { return DescribePixelFormat(ColorType, BitDepth); }

protected:
    ~PngHeaderChunk() override = default;
};

class PngPaletteChunk : public PngChunk {
public:
    int32_t EntryCount = 0;

    bool Load(FileStream& stream, uint32_t length) override;
    // Blue in the low byte, then green, red, 0; 0 for an index not below EntryCount.
    uint32_t GetPaletteColor(uint8_t index) const;

protected:
    ~PngPaletteChunk() override = default;
};

class PngGammaChunk : public PngChunk {
public:
    bool Load(FileStream& stream, uint32_t length) override;
    // A gamma chunk starts at gamma 1; Create<T>() answers none when its 4
    // bytes cannot be had.
    void Init() override;
    bool Complete() const { return Data != nullptr && DataSize == 4; }
    // 1 (and Data resized to 4 bytes) when the chunk is not 4 bytes long.
    uint32_t GetGamma();
    // False (Data as it was) when the 4 bytes cannot be had.
    bool SetGamma(uint32_t value);

protected:
    ~PngGammaChunk() override = default;
};

class PngTransparencyChunk : public PngChunk {
public:
    bool Load(FileStream& stream, uint32_t length) override;

    bool SingleColor = false;
    // Entries the chunk does not give, and all of them until it loads, are opaque.
    std::array<uint8_t, 256> Alpha = [] {
        std::array<uint8_t, 256> opaque{};
        opaque.fill(255);
        return opaque;
    }();

protected:
    ~PngTransparencyChunk() override = default;
};

class PngTextChunk : public PngChunk {
public:
    ByteString Keyword, Text;

    bool Load(FileStream& stream, uint32_t length) override;

protected:
    ~PngTextChunk() override = default;
};

class PngTimeChunk : public PngChunk {
public:
    uint16_t Year = 0;
    uint8_t Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;

    bool Load(FileStream& stream, uint32_t length) override;

protected:
    ~PngTimeChunk() override = default;
};

class InflateContext;

// Holds the decoding state while the image data is decoded; its Data stays
// empty because the handler reads the data itself.
class PngImageDataChunk : public PngChunk {
public:
    int32_t DecodeWidth = 0;     // ReducedWidth (the header width without reduction)
    int32_t DecodeHeight = 0;    // ReducedHeight
    int32_t ReductionShift = 0;  // s: every 2^s-th pixel in each direction
    int32_t RowLength = 0;       // filtered row without its filter byte (per pass for Adam7)
    int32_t FilterStep = 0;      // bytes per complete pixel, at least 1
    // Each RowLength + 12 bytes at full width: byte 0 the filter type, then
    // the row, then spare bytes that let wide filters run without a tail loop.
    std::array<uint8_t*, 2> RowBuffers{};
    uint8_t CurrentIndex = 0;    // buffer receiving the next row; the other is the previous row
    uint32_t DataEnd = 0;        // stream position where the current "IDAT" data ends

    bool Load(FileStream& stream, uint32_t length) override;

    uint8_t* CurrentRow() const { return RowBuffers[CurrentIndex]; }
    uint8_t* PreviousRow() const { return RowBuffers[CurrentIndex ^ 1]; }

protected:
    ~PngImageDataChunk() override = default;
};

struct RowInfo {
    int32_t RowLength = 0;   // bytes of a filtered row without its filter byte
    int32_t FilterStep = 0;  // bytes per complete pixel, at least 1 for valid headers
};

class PngImage : public Obj {
public:
    // Returning false stops loading or decoding.
    Event<bool(PngImage*, uint8_t pass, int32_t lastPass, int32_t percent)> OnProgress;
    // 1, 2, 3 decode at 1/2, 1/4, 1/8 of the size; anything else at full size.
    uint8_t Reduction = 0;
    // Called before (width > 0) and after (width < 0) each delivered row; the
    // converter writes where the handler leaves pixelRow and alphaRow.
    Event<void(PngImage*, int32_t row, int32_t& width, int32_t& height, uint8_t*& pixelRow,
               uint8_t*& alphaRow, bool& stop)>
        OnScanline;
    PngStatus Status = PngStatus::Ok;
    bool StrictCrc = false;
    std::array<uint8_t, 256> GammaTable{};
    uint8_t InterlaceMethod = 0;
    ObjList* Chunks = CreateList();
    // While LoadFromStream walks the chunks: the read-ahead block it reads
    // through, for the image-data reader to take its input in place; none
    // otherwise (then the reader copies from the stream it is given).
    InPlaceInput* LoadInput = nullptr;

    // Create<PngImage>() answers none when the chunk list cannot be had.
    bool Complete() const { return Chunks != nullptr; }

    bool LoadFromFile(const char* fileName);
    bool LoadFromStream(FileStream& stream);
    // Releases every chunk and resets GammaTable to the identity; Status stays.
    void Clear();

    int32_t Width() const;
    int32_t Height() const;
    int32_t ReductionShift() const { return ReductionShiftOf(Reduction); }
    int32_t ReducedWidth() const;
    int32_t ReducedHeight() const;
    bool HasHeader() const;
    // Item 0 or none; the name is not checked.
    PngHeaderChunk* Header() const;
    PngChunk* FindChunk(const ChunkName& type) const;
    template <typename T>
    T* Find(const ChunkName& type) const { return static_cast<T*>(FindChunk(type)); }
    // None when the image already holds a chunk of a kind kept once.
    PngChunk* CreateChunk(const ChunkName& type);
    RowInfo GetRowInfo() const;
    TransparencyMode GetTransparencyMode() const;

    // Draws at (x, y) over what dc shows, bounded by maxRight and maxBottom:
    // blended where the picture has alpha, else with keyColour transparent.
    // Win32 only.
    bool Draw(HDC__* dc, int32_t x, int32_t y, int32_t maxRight, int32_t maxBottom, uint32_t keyColour);

    void Destroy() override;

protected:
    ~PngImage() override = default;
};

// CRC-32 of the PNG standard over a running, uncomplemented register
// (start with 0xFFFFFFFF, complement at the end).
uint32_t UpdateCrc(uint32_t crc, const uint8_t* bytes, size_t count);

// Pixel memory for the header chunk's buffers, per platform: a bitmap
// section on Win32, a plain block elsewhere; zero-filled unless zeroFill is
// false (then its bytes may be anything). Null on failure.
uint8_t* CreatePixelMemory(const BitmapInfo& info, uint64_t byteCount, void** section, bool zeroFill = true);
void FreePixelMemory(void* section, uint8_t* pixels);
// The alpha plane's memory: a plain block of bytes bytes, zero-filled or not
// as above. Null on failure.
uint8_t* CreatePlaneMemory(size_t bytes, bool zeroFill);
void FreePlaneMemory(uint8_t* plane);
// Win32: gives back the section and the plane that FreePixelMemory and
// FreePlaneMemory keep for the next picture, if any (elsewhere the heap
// keeps what it wants by itself).
void DropSparePixelMemory();
// Whether blocks of byteCount bytes come zero-filled at no cost: true where
// the heap maps them afresh and knows their pages are zero.
bool ZeroFillIsFree(uint64_t byteCount);
