// The file calls on Win32.
#include <windows.h>

#include "winlayer/base/file_stream.h"

namespace {

HANDLE AsHandle(PlatformFile file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

PlatformFile PlatformOpenFile(const char* fileName, uint32_t options)
{
    DWORD share = options & 0xFF;
    DWORD disposition = (options >> 8) & 0xFF;
    DWORD attributes = (options >> 16) & 0x1FFF;
    DWORD access = options & 0xFFFF0000u;
    HANDLE file = CreateFileA(fileName, access, share, nullptr, disposition,
                              attributes ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return kInvalidFile;
    return reinterpret_cast<PlatformFile>(file);
}

uint32_t PlatformReadFile(PlatformFile file, void* buffer, uint32_t count)
{
    DWORD done = 0;
    if (file == kInvalidFile || !ReadFile(AsHandle(file), buffer, count, &done, nullptr))
        return 0;
    return done;
}

uint32_t PlatformSeekFile(PlatformFile file, int32_t distance, SeekOrigin origin)
{
    if (file == kInvalidFile)
        return kSeekFailed;
    DWORD method = origin == SeekOrigin::Start ? FILE_BEGIN : origin == SeekOrigin::Current ? FILE_CURRENT : FILE_END;
    return SetFilePointer(AsHandle(file), distance, nullptr, method);
}

uint32_t PlatformFileSize(PlatformFile file)
{
    if (file == kInvalidFile)
        return 0;
    DWORD size = GetFileSize(AsHandle(file), nullptr);
    return size == INVALID_FILE_SIZE ? 0 : size;
}

void PlatformCloseFile(PlatformFile file) { CloseHandle(AsHandle(file)); }
