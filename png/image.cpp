// The image object: its chunk list, the placement of each chunk kind in it,
// and the queries the decoder and the renderer make of the header.
#include <cstdlib>
#include <initializer_list>

#include "png/image.h"

namespace {

struct KindName {
    ChunkName Name;
    ChunkKind Kind;
};

// Compared byte for byte: "Idat" is not "IDAT" (PNG standard, section 5.4).
constexpr KindName kKinds[] = {
    {"IHDR", ChunkKind::Header},  {"IEND", ChunkKind::End},          {"IDAT", ChunkKind::ImageData},
    {"PLTE", ChunkKind::Palette}, {"gAMA", ChunkKind::Gamma},        {"tRNS", ChunkKind::Transparency},
    {"tEXt", ChunkKind::Text},    {"tIME", ChunkKind::Time},
};

PngChunk* NewChunkOfKind(ChunkKind kind)
{
    switch (kind) {
    case ChunkKind::Header:
        return Create<PngHeaderChunk>();
    case ChunkKind::ImageData:
        return Create<PngImageDataChunk>();
    case ChunkKind::Palette:
        return Create<PngPaletteChunk>();
    case ChunkKind::Gamma:
        return Create<PngGammaChunk>();
    case ChunkKind::Transparency:
        return Create<PngTransparencyChunk>();
    case ChunkKind::Text:
        return Create<PngTextChunk>();
    case ChunkKind::Time:
        return Create<PngTimeChunk>();
    default:
        return Create<PngChunk>();
    }
}

}  // namespace

ChunkKind KindOf(const ChunkName& name)
{
    for (const KindName& entry : kKinds)
        if (entry.Name == name)
            return entry.Kind;
    return ChunkKind::Other;
}

void PngImage::Clear()
{
    for (int32_t i = 0; Chunks && i < Chunks->Count; ++i)
        Release(static_cast<PngChunk*>(Chunks->Item(i)));
    if (Chunks)
        Chunks->Clear();
    for (int i = 0; i < 256; ++i)
        GammaTable[i] = static_cast<uint8_t>(i);
}

void PngImage::Destroy()
{
    Clear();
    Release(Chunks);
    Chunks = nullptr;
    Obj::Destroy();
}

bool PngImage::HasHeader() const
{
    return Chunks->Count > 0 && Header()->Name == ChunkName("IHDR");
}

PngHeaderChunk* PngImage::Header() const
{
    return Chunks->Count > 0 ? static_cast<PngHeaderChunk*>(Chunks->Item(0)) : nullptr;
}

int32_t PngImage::Width() const { return HasHeader() ? Header()->Width : 0; }

int32_t PngImage::Height() const { return HasHeader() ? Header()->Height : 0; }

int32_t PngImage::ReducedWidth() const { return Width() / (1 << ReductionShift()); }

int32_t PngImage::ReducedHeight() const { return Height() / (1 << ReductionShift()); }

PngChunk* PngImage::FindChunk(const ChunkName& type) const
{
    for (int32_t i = 0; i < Chunks->Count; ++i) {
        auto* chunk = static_cast<PngChunk*>(Chunks->Item(i));
        if (chunk->Name == type)
            return chunk;
    }
    return nullptr;
}

namespace {

// Index just after (or at) the first of the named chunks present, in the
// order given; -1 when none of them is there.
int32_t AfterFirstOf(const PngImage& image, std::initializer_list<ChunkName> names)
{
    for (const ChunkName& name : names)
        if (PngChunk* chunk = image.FindChunk(name))
            return chunk->Index() + 1;
    return -1;
}

// "IEND" is always the last chunk: it goes at the end, nothing is read after
// it, and every later chunk goes before it. Looking at the last item alone
// keeps a file of many small chunks linear in its length.
int32_t BeforeEndOrAtEnd(const PngImage& image)
{
    int32_t count = image.Chunks->Count;
    bool endLast = count > 0 && static_cast<PngChunk*>(image.Chunks->Item(count - 1))->Name == ChunkName("IEND");
    return endLast ? count - 1 : count;
}

// Where a new chunk of the kind goes. The gAMA and tRNS rules keep the list
// in the order of the PNG standard (section 5.6) whatever order the file had.
int32_t PlacementOf(const PngImage& image, ChunkKind kind)
{
    int32_t fallback = image.HasHeader() ? 1 : 0;
    int32_t index = -1;
    switch (kind) {
    case ChunkKind::Header:
        return 0;
    case ChunkKind::End:
        return image.Chunks->Count;
    case ChunkKind::ImageData:
        index = AfterFirstOf(image, {"PLTE"});
        break;
    case ChunkKind::Palette:
        if (PngChunk* data = image.FindChunk("IDAT"))
            index = data->Index();
        break;
    case ChunkKind::Gamma:
        index = AfterFirstOf(image, {"PLTE", "IDAT"});
        break;
    case ChunkKind::Transparency:
        index = AfterFirstOf(image, {"gAMA", "PLTE", "IDAT"});
        break;
    default:
        return BeforeEndOrAtEnd(image);
    }
    return index >= 0 ? index : fallback;
}

bool AlreadyHeld(const PngImage& image, ChunkKind kind, const ChunkName& type)
{
    switch (kind) {
    case ChunkKind::Header:
        return image.HasHeader();
    case ChunkKind::End: {
        int32_t count = image.Chunks->Count;
        return count > 0 && static_cast<PngChunk*>(image.Chunks->Item(count - 1))->Name == ChunkName("IEND");
    }
    case ChunkKind::ImageData:
    case ChunkKind::Palette:
    case ChunkKind::Gamma:
    case ChunkKind::Transparency:
        return image.FindChunk(type) != nullptr;
    default:
        return false;
    }
}

}  // namespace

PngChunk* PngImage::CreateChunk(const ChunkName& type)
{
    ChunkKind kind = KindOf(type);
    if (AlreadyHeld(*this, kind, type))
        return nullptr;
    // A chunk whose object, data or list entry cannot be had is refused like
    // a second one of a kind kept once, and nothing of it stays.
    PngChunk* chunk = NewChunkOfKind(kind);
    if (!chunk)
        return nullptr;
    chunk->Owner = this;
    int32_t countBefore = Chunks->Count;
    Chunks->Insert(PlacementOf(*this, kind), chunk);
    if (Chunks->Count == countBefore) {
        Release(chunk);
        return nullptr;
    }
    chunk->Name = type;
    return chunk;
}

RowInfo PngImage::GetRowInfo() const
{
    if (!HasHeader())
        return {};
    const PixelFormat format = Header()->Format();
    // The header's width is not trusted to be in range here.
    const int64_t rowLength = format.RowBytes(static_cast<uint32_t>(Header()->Width));
    if (rowLength > INT32_MAX)
        return {};
    return {static_cast<int32_t>(rowLength), format.FilterStep};
}

TransparencyMode PngImage::GetTransparencyMode() const
{
    if (!HasHeader())
        return TransparencyMode::none;
    auto* transparency = Find<PngTransparencyChunk>("tRNS");
    switch (Header()->Format().Type) {
    case ColorType::Grey:
    case ColorType::Rgb:
        return transparency ? TransparencyMode::colourKey : TransparencyMode::none;
    case ColorType::Palette:
        if (!transparency)
            return TransparencyMode::none;
        return transparency->SingleColor ? TransparencyMode::colourKey : TransparencyMode::alpha;
    case ColorType::GreyAlpha:
    case ColorType::RgbAlpha:
        return TransparencyMode::alpha;
    }
    return TransparencyMode::none;
}
