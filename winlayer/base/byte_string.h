// ByteString: an owned, zero-terminated run of bytes (text in the ANSI code
// page) for the few stored texts of the layer and the decoder: captions,
// the host's path and file name, the keyword and text of a text chunk.
// Spelled like the handful of std::string calls it replaces, but it never
// throws: when memory runs out the string becomes empty and assign says so,
// so the plug-in needs none of the run-time's exception machinery. Its
// memory comes from the layer's allocation calls, like the rest of a load.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "winlayer/base/allocation.h"

class ByteString {
public:
    ByteString() = default;
    ByteString(const ByteString&) = delete;
    ByteString& operator=(const ByteString&) = delete;
    ~ByteString() { std::free(bytes); }

    // A copy of length bytes (which may hold zeros) plus a terminating zero.
    // False, leaving the string empty, when the copy cannot be allocated.
    bool assign(const char* text, size_t length)
    {
        char* copy = static_cast<char*>(AllocateBytes(length + 1));
        if (copy) {
            std::memcpy(copy, text, length);
            copy[length] = 0;
        }
        std::free(bytes);
        bytes = copy;
        count = copy ? length : 0;
        return copy != nullptr;
    }
    ByteString& operator=(const char* text)
    {
        assign(text, text ? std::strlen(text) : 0);
        return *this;
    }
    void clear()
    {
        std::free(bytes);
        bytes = nullptr;
        count = 0;
    }

    // Never null: the empty string before the first assignment.
    const char* c_str() const { return bytes ? bytes : ""; }
    size_t size() const { return count; }
    bool empty() const { return count == 0; }
    operator std::string_view() const { return {c_str(), count}; }
    bool operator==(std::string_view other) const { return std::string_view(*this) == other; }

private:
    char* bytes = nullptr;
    size_t count = 0;
};
