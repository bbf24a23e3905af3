#include "bench/decoders.h"
#include "winlayer/base/memory_stream.h"
#include "png/image.h"

DecodeOutcome DecodeWithOurs(std::span<const uint8_t> file)
{
    PngImage* image = Create<PngImage>();
    MemoryStream* stream = OpenMemoryStream(file.data(), file.size());
    DecodeOutcome outcome;
    outcome.Ok = image->LoadFromStream(*stream) && image->Status == PngStatus::Ok;
    if (image->HasHeader()) {
        const PngHeaderChunk* header = image->Header();
        size_t width = static_cast<size_t>(image->ReducedWidth());
        size_t height = static_cast<size_t>(image->ReducedHeight());
        outcome.OutputBytes = static_cast<size_t>(header->BytesPerRow) * height;
        if (header->AlphaPlane)
            outcome.OutputBytes += width * height;
    }
    Release(stream);
    Release(image);
    return outcome;
}
