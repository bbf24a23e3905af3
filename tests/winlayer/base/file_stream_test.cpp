// The read-only file stream over real files.
#include "winlayer/base/file_stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

struct FileStreamTest : testing::Test {
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("pngplug_fs_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                 "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    FileStreamTest() { std::filesystem::create_directories(dir); }
    ~FileStreamTest() override { std::filesystem::remove_all(dir); }

    std::string Write(const char* name, const std::string& bytes)
    {
        auto path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
};

TEST_F(FileStreamTest, MissingFileReadsAsEmpty)
{
    FileStream* stream = OpenReadFileStream((dir / "missing.png").string().c_str());
    EXPECT_EQ(stream->FileHandle, kInvalidFile);
    unsigned char buffer[8];
    EXPECT_EQ(stream->Read(buffer, 8), 0u);
    EXPECT_EQ(stream->Size(), 0u);
    EXPECT_EQ(stream->Position(), kSeekFailed);
    Release(stream);

    FileStream* none = OpenReadFileStream(nullptr);
    EXPECT_EQ(none->Read(buffer, 8), 0u);
    Release(none);

    FileStream* folder = OpenReadFileStream(dir.string().c_str());
    EXPECT_EQ(folder->Read(buffer, 8), 0u);
    Release(folder);
}

TEST_F(FileStreamTest, ShortReadsReturnWhatIsThere)
{
    FileStream* stream = OpenReadFileStream(Write("five", "12345").c_str());
    char buffer[8] = {};
    EXPECT_EQ(stream->Size(), 5u);
    EXPECT_EQ(stream->Read(buffer, 8), 5u);
    EXPECT_EQ(std::string(buffer, 5), "12345");
    EXPECT_EQ(stream->Read(buffer, 8), 0u);
    EXPECT_EQ(stream->Position(), 5u);
    Release(stream);
}

TEST_F(FileStreamTest, SeeksFromEachOriginAndPastTheEnd)
{
    FileStream* stream = OpenReadFileStream(Write("ten", "0123456789").c_str());
    char c = 0;
    EXPECT_EQ(stream->Operations->Seek(stream, 3, SeekOrigin::Start), 3u);
    EXPECT_EQ(stream->Operations->Seek(stream, 2, SeekOrigin::Current), 5u);
    ASSERT_EQ(stream->Read(&c, 1), 1u);
    EXPECT_EQ(c, '5');
    EXPECT_EQ(stream->Operations->Seek(stream, -1, SeekOrigin::End), 9u);
    ASSERT_EQ(stream->Read(&c, 1), 1u);
    EXPECT_EQ(c, '9');
    stream->SetPosition(100);
    EXPECT_EQ(stream->Position(), 100u);
    EXPECT_EQ(stream->Read(&c, 1), 0u);
    EXPECT_EQ(stream->Operations->Seek(stream, -1, SeekOrigin::Start), kSeekFailed);
    Release(stream);
}

TEST_F(FileStreamTest, WriteAndSetSizeChangeNothing)
{
    auto path = Write("keep", "abc");
    FileStream* stream = OpenReadFileStream(path.c_str());
    EXPECT_EQ(stream->Operations->Write(stream, "xyz", 3), 0u);
    stream->Operations->SetSize(stream, 0);
    EXPECT_EQ(stream->Size(), 3u);
    Release(stream);
    std::ifstream in(path, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(content, "abc");
}

TEST_F(FileStreamTest, ReleaseClosesTheFile)
{
    FileStream* stream = OpenReadFileStream(Write("x", "abc").c_str());
    EXPECT_EQ(stream->Operations, &stream->OperationTable);
    EXPECT_NE(stream->OperationTable.Read, kFileStreamTemplate.Read);
    bool closed = false;
    static bool* flag;
    flag = &closed;
    stream->OperationTable.Close = [](FileStream* s) {
        *flag = true;
        kFileStreamTemplate.Close(s);
    };
    Release(stream);
    EXPECT_TRUE(closed);
}

}  // namespace
