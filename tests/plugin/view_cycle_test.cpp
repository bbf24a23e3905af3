// The picture cycle: every press of any mouse button (and the hidden
// button's click) loads the next of the six files; nothing else does.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "plugin/pngplug.h"
#include "plugin/view.h"
#include "png/image.h"
#include "tests/plugin/view_support.h"
#include "winlayer/winlayer.h"

namespace {

using ViewCycle = ViewFixture;

constexpr DWORD kClickTimeoutMs = 2000;
constexpr DWORD kSettleMs = 150;

std::vector<uint8_t> FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The header fields of the file, read from its bytes, against those of
// the picture the view loaded: tells the six samples apart.
testing::AssertionResult Shows(const char* fileName)
{
    const std::vector<uint8_t> bytes = FileBytes(fileName);
    const PngHeaderChunk* header = CurrentImage->Header();
    if (bytes.size() < 29 || !header)
        return testing::AssertionFailure() << "no header for " << fileName;
    const uint32_t width = uint32_t{bytes[16]} << 24 | bytes[17] << 16 | bytes[18] << 8 | bytes[19];
    const uint32_t height = uint32_t{bytes[20]} << 24 | bytes[21] << 16 | bytes[22] << 8 | bytes[23];
    if (uint32_t(header->Width) == width && uint32_t(header->Height) == height && header->BitDepth == bytes[24] &&
        header->ColorType == bytes[25] && header->InterlaceMethod == bytes[28])
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "the view shows a " << header->Width << "x" << header->Height
                                       << " picture, not " << fileName;
}

bool ClickAndWait(HWND form, int32_t expectedIndex, UINT down = WM_LBUTTONDOWN, UINT up = WM_LBUTTONUP)
{
    PostClick(form, down, up);
    return PumpUntil([expectedIndex] { return ImageIndex == expectedIndex; }, kClickTimeoutMs);
}

Pixels ViewOnScreen(HWND host) { return ReadClient(host, kViewBox.X, kViewBox.Y, kViewBox.Width, kViewBox.Height); }

TEST_F(ViewCycle, SevenClicksShowTheSixFilesInOrderThenTheFirstAgain)
{
    StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    for (int click = 1; click <= 7; ++click) {
        const int32_t expectedIndex = click == 7 ? 1 : click;
        ASSERT_TRUE(ClickAndWait(FormWindow(), expectedIndex)) << "click " << click;
        EXPECT_TRUE(Shows(kImageFiles[(click - 1) % 6])) << "click " << click;
    }
}

TEST_F(ViewCycle, RightAndMiddlePressesAdvanceLikeTheLeftButton)
{
    StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    ASSERT_TRUE(ClickAndWait(FormWindow(), 1, WM_RBUTTONDOWN, WM_RBUTTONUP));
    EXPECT_TRUE(Shows(kImageFiles[0]));
    ASSERT_TRUE(ClickAndWait(FormWindow(), 2, WM_MBUTTONDOWN, WM_MBUTTONUP));
    EXPECT_TRUE(Shows(kImageFiles[1]));
}

TEST_F(ViewCycle, DoubleClickAdvancesByTwo)
{
    StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    PostClick(FormWindow());
    PostClick(FormWindow(), WM_LBUTTONDBLCLK, WM_LBUTTONUP);
    PumpFor(kSettleMs * 2);
    EXPECT_EQ(ImageIndex, 2);
    EXPECT_TRUE(Shows(kImageFiles[1]));
}

TEST_F(ViewCycle, RepaintsShowTheSamePictureAndNeverAdvance)
{
    StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    ASSERT_TRUE(ClickAndWait(FormWindow(), 1));
    ASSERT_TRUE(ClickAndWait(FormWindow(), 2));
    PumpFor(kSettleMs);
    const Pixels shown = ViewOnScreen(host->Handle());
    for (int i = 0; i < 3; ++i) {
        RedrawWindow(host->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        PumpFor(kSettleMs / 3);
    }
    EXPECT_EQ(ImageIndex, 2);
    EXPECT_TRUE(Shows(kImageFiles[1]));
    EXPECT_TRUE(SamePixels(ViewOnScreen(host->Handle()), shown));
}

TEST_F(ViewCycle, MissingAndBrokenFilesDoNotStopTheCycle)
{
    // A folder of its own: the second picture missing, the third cut short
    // in the middle of its image data.
    ASSERT_TRUE(CreateDirectoryA("partial", nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    for (const char* name : kImageFiles) {
        std::vector<uint8_t> bytes = FileBytes(name);
        if (name == kImageFiles[1])
            continue;
        if (name == kImageFiles[2])
            bytes.resize(bytes.size() / 2);
        std::ofstream(std::string("partial\\") + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA("partial"));

    StartWithHost();
    const bool captured = WaitForCapture();
    const bool first = captured && ClickAndWait(FormWindow(), 1) && Shows(kImageFiles[0]);
    const bool missing = ClickAndWait(FormWindow(), 2) && CurrentImage->Width() == 0;
    PumpFor(kSettleMs);
    const Pixels afterMissing = ViewOnScreen(host->Handle());
    const bool broken = ClickAndWait(FormWindow(), 3) && CurrentImage->Status != PngStatus::Ok;
    const bool fourth = ClickAndWait(FormWindow(), 4) && Shows(kImageFiles[3]);
    SetCurrentDirectoryA(previous);

    EXPECT_TRUE(first);
    EXPECT_TRUE(missing) << "a missing file leaves the picture empty";
    EXPECT_TRUE(SamePixels(afterMissing, HostPixelsUnderView())) << "with no picture the view shows the host alone";
    EXPECT_TRUE(broken) << "a file cut short reports its failure";
    EXPECT_TRUE(fourth) << "the cycle goes on after both";
}

TEST_F(ViewCycle, PressBeforeTheCaptureLoadsAndTheCaptureThenShowsIt)
{
    StartWithHost();
    // Still hidden and outside the host: no background exists yet.
    SendMessageA(FormWindow(), WM_LBUTTONDOWN, MK_LBUTTON, 0);
    SendMessageA(FormWindow(), WM_PAINT, 0, 0);
    EXPECT_EQ(ImageIndex, 1);
    EXPECT_TRUE(Shows(kImageFiles[0]));
    ASSERT_TRUE(WaitForCapture());
    OraclePicture picture;
    ASSERT_TRUE(DecodeWithOracle(kImageFiles[0], picture));
    EXPECT_TRUE(SamePixels(ViewOnScreen(host->Handle()), ExpectedView(HostPixelsUnderView(), picture)))
        << "the paint after the capture draws the picture loaded before it";
}

TEST_F(ViewCycle, HiddenButtonClickAdvancesLikeAPressOnTheForm)
{
    StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    Control* button = PluginView->Button;
    HWND buttonWindow = EnsureWindow(button);
    ASSERT_NE(buttonWindow, nullptr);
    SendMessageA(FormWindow(), WM_COMMAND, MAKEWPARAM(button->ControlId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(buttonWindow));
    PumpFor(kSettleMs);
    EXPECT_EQ(ImageIndex, 1);
    EXPECT_TRUE(Shows(kImageFiles[0]));
    EXPECT_FALSE(IsWindowVisible(buttonWindow));
}

}  // namespace
