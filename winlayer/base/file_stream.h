// The read-only file stream the decoder reads through. Its behaviour sits in
// an eight-slot operation table copied into every stream, so other streams
// (an in-memory one in the tests) can share the type.
#pragma once

#include <cstdint>

#include "winlayer/base/obj.h"

class FileStream;

enum class SeekOrigin : uint8_t { Start = 0, Current = 1, End = 2 };

struct StreamOperations {
    // The new position, or 0xFFFFFFFF when the move failed.
    uint32_t (*Seek)(FileStream* stream, int32_t distance, SeekOrigin origin);
    // 0 when the size cannot be had.
    uint32_t (*GetSize)(FileStream* stream);
    void (*SetSize)(FileStream* stream, uint32_t size);
    // Bytes read, fewer than count (or 0) at the end or on failure.
    uint32_t (*Read)(FileStream* stream, void* buffer, uint32_t count);
    uint32_t (*Write)(FileStream* stream, const void* buffer, uint32_t count);
    void (*Close)(FileStream* stream);
    void (*Reserved6)();
    void (*Reserved7)();
};
static_assert(sizeof(StreamOperations) == 8 * sizeof(void*), "eight slots");

constexpr uint32_t kSeekFailed = 0xFFFFFFFFu;

// Opened files, as the platform layer hands them out; kInvalidFile when the
// open failed.
using PlatformFile = intptr_t;
constexpr PlatformFile kInvalidFile = -1;

class FileStream : public Obj {
public:
    StreamOperations* Operations = &OperationTable;
    StreamOperations OperationTable{};
    PlatformFile FileHandle = kInvalidFile;

    uint32_t Position() { return Operations->Seek(this, 0, SeekOrigin::Current); }
    void SetPosition(uint32_t position)
    {
        Operations->Seek(this, static_cast<int32_t>(position), SeekOrigin::Start);
    }
    uint32_t Size() { return Operations->GetSize(this); }
    uint32_t Read(void* buffer, uint32_t count) { return Operations->Read(this, buffer, count); }

    // Closes the file, then the object teardown.
    void Destroy() override;

protected:
    ~FileStream() override = default;
};

// The template every file stream starts from: reads and writes answer 0.
extern const StreamOperations kFileStreamTemplate;

// A file that cannot be opened gives a stream whose reads return 0, whose
// size is 0 and whose seeks fail; none only when the memory cannot be had.
// options as PlatformOpenFile takes them.
FileStream* OpenReadFileStream(const char* fileName, uint32_t options);
FileStream* OpenReadFileStream(const char* fileName);

// The platform's file calls, one file per platform (platform_file_*.cpp).
// Options word: share mode in bits 0-7, creation disposition in bits 8-15,
// attributes in bits 16-28 (0 = normal), access rights in the high bits.
constexpr uint32_t kOpenForReading = 0x80000301u;
// The same, letting others write, rename and delete the file meanwhile: for
// a file held open as long as a picture plays, which the host may replace.
constexpr uint32_t kOpenForSharedReading = 0x80000307u;
PlatformFile PlatformOpenFile(const char* fileName, uint32_t options);
uint32_t PlatformReadFile(PlatformFile file, void* buffer, uint32_t count);
uint32_t PlatformSeekFile(PlatformFile file, int32_t distance, SeekOrigin origin);
uint32_t PlatformFileSize(PlatformFile file);
void PlatformCloseFile(PlatformFile file);
