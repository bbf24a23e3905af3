// The file calls on POSIX systems, so the decoder builds and runs natively.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "winlayer/base/file_stream.h"

PlatformFile PlatformOpenFile(const char* fileName, uint32_t options)
{
    // Only the read-only open exists; sharing has no meaning here.
    if ((options >> 16) != (kOpenForReading >> 16))
        return kInvalidFile;
    int fd = open(fileName, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return kInvalidFile;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);  // a directory opens on POSIX but is no file to read
        return kInvalidFile;
    }
    return fd;
}

uint32_t PlatformReadFile(PlatformFile file, void* buffer, uint32_t count)
{
    if (file == kInvalidFile)
        return 0;
    auto* bytes = static_cast<unsigned char*>(buffer);
    uint32_t done = 0;
    // One ReadFile call fills as much as the file holds; read() may stop short.
    while (done < count) {
        ssize_t n = read(static_cast<int>(file), bytes + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<uint32_t>(n);
    }
    return done;
}

uint32_t PlatformSeekFile(PlatformFile file, int32_t distance, SeekOrigin origin)
{
    if (file == kInvalidFile)
        return kSeekFailed;
    int whence = origin == SeekOrigin::Start ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
    // A distance from the start is unsigned on the wire, as SetFilePointer
    // takes the low 32 bits of a position.
    off_t offset = origin == SeekOrigin::Start ? static_cast<off_t>(static_cast<uint32_t>(distance))
                                               : static_cast<off_t>(distance);
    off_t result = lseek(static_cast<int>(file), offset, whence);
    if (result < 0)
        return kSeekFailed;
    return static_cast<uint32_t>(result);
}

uint32_t PlatformFileSize(PlatformFile file)
{
    struct stat info;
    if (file == kInvalidFile || fstat(static_cast<int>(file), &info) != 0)
        return 0;
    return static_cast<uint32_t>(info.st_size);
}

void PlatformCloseFile(PlatformFile file) { close(static_cast<int>(file)); }
