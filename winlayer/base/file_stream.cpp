#include "winlayer/base/file_stream.h"

namespace {

uint32_t SeekFile(FileStream* stream, int32_t distance, SeekOrigin origin)
{
    return PlatformSeekFile(stream->FileHandle, distance, origin);
}

uint32_t FileSize(FileStream* stream) { return PlatformFileSize(stream->FileHandle); }

void SetSizeNothing(FileStream*, uint32_t) {}

uint32_t ReadNothing(FileStream*, void*, uint32_t) { return 0; }

uint32_t WriteNothing(FileStream*, const void*, uint32_t) { return 0; }

uint32_t ReadFile(FileStream* stream, void* buffer, uint32_t count)
{
    return PlatformReadFile(stream->FileHandle, buffer, count);
}

void CloseFile(FileStream* stream)
{
    if (stream->FileHandle != kInvalidFile)
        PlatformCloseFile(stream->FileHandle);
    stream->FileHandle = kInvalidFile;
}

}  // namespace

const StreamOperations kFileStreamTemplate = {
    SeekFile, FileSize, SetSizeNothing, ReadNothing, WriteNothing, CloseFile, nullptr, nullptr,
};

void FileStream::Destroy()
{
    Operations->Close(this);
    Obj::Destroy();
}

FileStream* OpenReadFileStream(const char* fileName) { return OpenReadFileStream(fileName, kOpenForReading); }

FileStream* OpenReadFileStream(const char* fileName, uint32_t options)
{
    FileStream* stream = Create<FileStream>();
    if (!stream)
        return nullptr;
    stream->OperationTable = kFileStreamTemplate;
    stream->Operations = &stream->OperationTable;
    stream->OperationTable.Read = ReadFile;
    stream->FileHandle = fileName ? PlatformOpenFile(fileName, options) : kInvalidFile;
    return stream;
}
