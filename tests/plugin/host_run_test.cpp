// pngplug-host.exe, the demonstration host, run as its own process: it must
// click through the pictures, leave one screenshot per click and end cleanly.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "plugin/view.h"
#include "tests/plugin/view_support.h"

namespace {

constexpr int kClicks = 7;
constexpr DWORD kHostTimeoutMs = 60000;
// Where the host puts its view, in its client area.
constexpr ViewBox kHostView{40, 40, 480, 360};

// A 24-bit bottom-up BMP as the host writes it; empty on any surprise.
Pixels ReadBmp(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return {};
    BITMAPFILEHEADER fileHeader{};
    BITMAPINFOHEADER header{};
    Pixels pixels;
    if (std::fread(&fileHeader, sizeof fileHeader, 1, file) == 1 && std::fread(&header, sizeof header, 1, file) == 1 &&
        fileHeader.bfType == 0x4D42 && header.biBitCount == 24 && header.biHeight > 0) {
        const size_t stride = (size_t(header.biWidth) * 3 + 3) & ~size_t(3);
        std::vector<uint8_t> bits(stride * header.biHeight);
        std::fseek(file, static_cast<long>(fileHeader.bfOffBits), SEEK_SET);
        if (std::fread(bits.data(), 1, bits.size(), file) == bits.size()) {
            pixels = {header.biWidth, header.biHeight, std::vector<uint32_t>(size_t(header.biWidth) * header.biHeight)};
            for (int y = 0; y < pixels.Height; ++y)
                for (int x = 0; x < pixels.Width; ++x) {
                    const uint8_t* p = &bits[(pixels.Height - 1 - y) * stride + x * 3];
                    pixels.Data[size_t(y) * pixels.Width + x] = uint32_t{p[2]} << 16 | p[1] << 8 | p[0];
                }
        }
    }
    std::fclose(file);
    return pixels;
}

// Runs the host with kClicks clicks and screenshots; its exit code, or -1.
long RunHost()
{
    char commandLine[64];
    std::snprintf(commandLine, sizeof commandLine, "pngplug-host.exe --clicks %d --shots shots", kClicks);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, kHostTimeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, 98);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<long>(code);
}

// The shot with the view's rectangle blanked out: what the host drew itself.
Pixels OutsideTheView(Pixels shot)
{
    for (int y = kHostView.Y; y < kHostView.Y + kHostView.Height; ++y)
        for (int x = kHostView.X; x < kHostView.X + kHostView.Width; ++x)
            shot.Data[size_t(y) * shot.Width + x] = 0;
    return shot;
}

class HostProgram : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CreateDirectoryA("shots", nullptr);
        exitCode = RunHost();
        for (int i = 1; i <= kClicks; ++i) {
            char path[32];
            std::snprintf(path, sizeof path, "shots\\shot-%d.bmp", i);
            shots.push_back(ReadBmp(path));
        }
    }
    static Pixels ViewIn(const Pixels& shot)
    {
        return Crop(shot, kHostView.X, kHostView.Y, kHostView.Width, kHostView.Height);
    }

    static inline long exitCode = -1;
    static inline std::vector<Pixels> shots;
};

TEST_F(HostProgram, EndsCleanlyWithOneScreenshotPerClick)
{
    EXPECT_EQ(exitCode, 0);
    ASSERT_EQ(shots.size(), size_t(kClicks));
    for (const Pixels& shot : shots) {
        EXPECT_EQ(shot.Width, 560);
        EXPECT_EQ(shot.Height, 440);
    }
}

TEST_F(HostProgram, EveryClickChangesOnlyTheViewAndShowsAnotherPicture)
{
    ASSERT_EQ(shots.size(), size_t(kClicks));
    for (const Pixels& shot : shots)
        ASSERT_FALSE(shot.Data.empty());
    for (int i = 1; i < kClicks; ++i)
        EXPECT_TRUE(SamePixels(OutsideTheView(shots[i]), OutsideTheView(shots[0]))) << "shot " << i + 1;
    for (int i = 0; i < 6; ++i)
        for (int j = i + 1; j < 6; ++j)
            EXPECT_NE(ViewIn(shots[i]).Data, ViewIn(shots[j]).Data) << "shots " << i + 1 << " and " << j + 1;
}

TEST_F(HostProgram, SixthClickShowsTheOpaqueLandscapeAndTheSeventhTheFirstPictureAgain)
{
    ASSERT_EQ(shots.size(), size_t(kClicks));
    OraclePicture landscape;
    ASSERT_TRUE(DecodeWithOracle(kImageFiles[5], landscape));
    ASSERT_EQ(landscape.Width, kHostView.Width);
    ASSERT_EQ(landscape.Height, kHostView.Height);
    // Opaque and free of the key colour, it hides the host completely: over
    // a black background the expected view is the landscape alone.
    const Pixels black{kHostView.Width, kHostView.Height, std::vector<uint32_t>(size_t(kHostView.Width) * kHostView.Height)};
    EXPECT_TRUE(SamePixels(ViewIn(shots[5]), ExpectedView(black, landscape)));
    EXPECT_TRUE(SamePixels(shots[6], shots[0]));
}

}  // namespace
