// The text chunk (PNG standard, section 11.3.4.3): a keyword, a zero byte,
// then the text.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "png/image.h"
#include "winlayer/allocation.h"

ChunkText::~ChunkText() { std::free(Bytes); }

bool ChunkText::Assign(const char* bytes, size_t length)
{
    Clear();
    // One spare byte: an empty string still gets a block, and none means failure.
    auto* copy = static_cast<char*>(AllocateBytes(length + 1));
    if (!copy)
        return false;
    std::memcpy(copy, bytes, length);
    copy[length] = 0;
    Bytes = copy;
    Length = length;
    return true;
}

void ChunkText::Clear()
{
    std::free(Bytes);
    Bytes = nullptr;
    Length = 0;
}

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
    if (Keyword.Assign(bytes, keywordLength) &&
        Text.Assign(bytes + textStart, static_cast<size_t>(DataSize) - textStart))
        return true;
    // Strings that cannot be had make a chunk that cannot be had.
    Keyword.Clear();
    Text.Clear();
    Owner->Status = PngStatus::ChunkRefused;
    return false;
}
