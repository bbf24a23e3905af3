// The text chunk (PNG standard, section 11.3.4.3): a keyword, a zero byte,
// then the text.
#include <algorithm>
#include <cstring>

#include "png/image.h"

bool PngTextChunk::Load(FileStream& stream, uint32_t length)
{
    if (!ReadChunkData(stream, length))
        return false;
    if (DataSize < 3)
        return true;
    const char* bytes = reinterpret_cast<const char*>(Data);
    const void* zero = std::memchr(bytes, 0, static_cast<size_t>(DataSize));
    size_t keywordLength = zero ? static_cast<size_t>(static_cast<const char*>(zero) - bytes)
                                : static_cast<size_t>(DataSize);
    // Without a separator there is no text, rather than a length of -1.
    size_t textStart = std::min(keywordLength + 1, static_cast<size_t>(DataSize));
    if (Keyword.assign(bytes, keywordLength) &&
        Text.assign(bytes + textStart, static_cast<size_t>(DataSize) - textStart))
        return true;
    // Strings that cannot be had make a chunk that cannot be had.
    Keyword.clear();
    Text.clear();
    Owner->Status = PngStatus::ChunkRefused;
    return false;
}
