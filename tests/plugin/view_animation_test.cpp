// An animated picture in the view: frames at their times against the start
// of the play, the last frame of a finite play exact and held with no timer
// left, a click in the middle of a play moving on cleanly, and a host window
// destroyed in the middle of one leaving nothing behind.
#include <windows.h>

#include <mmsystem.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "plugin/pngplug.h"
#include "plugin/view.h"
#include "plugin/view_internal.h"
#include "png/animation/animation.h"
#include "png/image.h"
#include "png/render/rgba_view.h"
#include "tests/plugin/view_support.h"

namespace {

using ViewAnimation = ViewFixture;

constexpr int kMusic = 4;  // the animated sample: seven frames for ever
constexpr DWORD kClickTimeoutMs = 2000;
constexpr uint32_t kFrameMs = 1400;  // of the finite animation below
constexpr uint32_t kToleranceMs = 50;

std::vector<uint8_t> FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = uint8_t(v >> (24 - 8 * i));
}

// The sample animation played once, each frame for kFrameMs: 8.4 s from the
// first frame to the end of the last. Only fields change, so the CRCs no
// longer match (pictures are read without checking them).
bool WriteFiniteAnimation(const std::string& path)
{
    std::vector<uint8_t> b = FileBytes(kImageFiles[kMusic]);
    for (size_t at = 8; at + 12 <= b.size();) {
        const uint32_t length = uint32_t(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
        const std::string type(b.begin() + long(at) + 4, b.begin() + long(at) + 8);
        if (type == "acTL")
            Put32(b, at + 12, 1);
        if (type == "fcTL") {
            b[at + 28] = uint8_t(kFrameMs >> 8), b[at + 29] = uint8_t(kFrameMs);
            b[at + 30] = 0x03, b[at + 31] = 0xE8;
        }
        at += 12 + length;
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    return bool(out);
}

// The frames the file shows, as the native suite proves the reader composes
// them: the picture of each, for ExpectedView.
std::vector<OraclePicture> FramesOf(const std::string& path)
{
    std::vector<OraclePicture> frames;
    PngAnimation* animation = OpenAnimation(path.c_str());
    for (uint32_t i = 0; animation && !animation->Refusal && i < animation->Layout.FrameCount; ++i) {
        if (i > 0 && !animation->NextFrame())
            break;
        OraclePicture frame;
        frame.Width = animation->Canvas->Width();
        frame.Height = animation->Canvas->Height();
        frame.Rgba.resize(size_t(frame.Width) * frame.Height * 4);
        for (int y = 0; y < frame.Height; ++y)
            ReadRgbaRow(*animation->Canvas, y, &frame.Rgba[size_t(y) * frame.Width * 4]);
        frames.push_back(frame);
    }
    Release(animation);
    return frames;
}

int32_t ShownFrame() { return PlayingAnimation() ? PlayingAnimation()->FrameIndex : -1; }

Pixels ViewOnScreen(HWND host) { return ReadClient(host, kViewBox.X, kViewBox.Y, kViewBox.Width, kViewBox.Height); }

bool ClickTo(HWND form, int index)
{
    while (ImageIndex != index + 1) {
        const int32_t next = ImageIndex + 1;
        PostClick(form);
        if (!PumpUntil([next] { return ImageIndex == next; }, kClickTimeoutMs))
            return false;
    }
    return true;
}

TEST_F(ViewAnimation, FramesComeAtTheirTimesAndTheLastStaysExactWithNoTimer)
{
    CreateDirectoryA("finite", nullptr);
    ASSERT_TRUE(WriteFiniteAnimation("finite\\gauntlet_woman.png"));
    const std::vector<OraclePicture> frames = FramesOf("finite\\gauntlet_woman.png");
    ASSERT_EQ(frames.size(), 7u);
    char previous[MAX_PATH];
    ASSERT_TRUE(GetCurrentDirectoryA(MAX_PATH, previous) && SetCurrentDirectoryA("finite"));
    StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    PostClick(FormWindow());
    ASSERT_TRUE(PumpUntil([] { return ShownFrame() == 0; }, kClickTimeoutMs));
    const DWORD start = timeGetTime();
    SetCurrentDirectoryA(previous);
    EXPECT_TRUE(SamePixels(ViewOnScreen(host->Handle()), ExpectedView(HostPixelsUnderView(), frames[0])));
    int32_t worst = 0;
    for (int32_t k = 1; k < 7; ++k) {
        ASSERT_TRUE(PumpUntil([k] { return ShownFrame() == k; }, kFrameMs + 500)) << "frame " << k;
        const int32_t late = int32_t(timeGetTime() - start) - int32_t(k * kFrameMs);
        EXPECT_LE(std::abs(late), int32_t(kToleranceMs)) << "frame " << k << " came " << late << " ms late";
        worst = std::max(worst, std::abs(late));
        // Moves of the view keep the play going, at the new place and back.
        if (k == 3 || k == 4)
            Draw(0, kViewBox.X + (k == 3 ? 16 : 0), kViewBox.Y, kViewBox.Width, kViewBox.Height);
    }
    std::printf("frames within %d ms of their times over %u ms\n", int(worst), unsigned(6 * kFrameMs));
    PumpFor(kFrameMs + 200);
    EXPECT_EQ(ShownFrame(), 6) << "a play of one stays on its last frame";
    EXPECT_FALSE(KillTimer(FormWindow(), kFrameTimer)) << "a timer outlived the play";
    EXPECT_TRUE(SamePixels(ViewOnScreen(host->Handle()), ExpectedView(HostPixelsUnderView(), frames[6])));
    // A repaint shows the same frame without decoding anything.
    const int32_t index = ShownFrame();
    RedrawWindow(FormWindow(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    PumpFor(100);
    EXPECT_EQ(ShownFrame(), index);
    EXPECT_TRUE(SamePixels(ViewOnScreen(host->Handle()), ExpectedView(HostPixelsUnderView(), frames[6])));
}

TEST_F(ViewAnimation, AClickInThePlayShowsTheNextPictureAndStopsTheFrames)
{
    OraclePicture next;
    ASSERT_TRUE(DecodeWithOracle(kImageFiles[kMusic + 1], next));
    StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    ASSERT_TRUE(ClickTo(FormWindow(), kMusic));
    ASSERT_TRUE(PumpUntil([] { return ShownFrame() >= 2; }, kClickTimeoutMs)) << "the sample does not play";
    PostClick(FormWindow());
    ASSERT_TRUE(PumpUntil([] { return ImageIndex == kMusic + 2; }, kClickTimeoutMs));
    EXPECT_EQ(PlayingAnimation(), nullptr);
    EXPECT_FALSE(KillTimer(FormWindow(), kFrameTimer)) << "the frame timer outlived the click";
    PumpFor(500);
    EXPECT_TRUE(SamePixels(ViewOnScreen(host->Handle()), ExpectedView(HostPixelsUnderView(), next)))
        << "a frame was drawn over the next picture";
}

// At most one tick finds the view hidden, and stops the timer; the play
// goes on from the same frame once the view is shown again.
TEST_F(ViewAnimation, AHiddenViewWaitsAndGoesOnWhenShown)
{
    StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    ASSERT_TRUE(ClickTo(FormWindow(), kMusic));
    ASSERT_TRUE(PumpUntil([] { return ShownFrame() >= 1; }, kClickTimeoutMs));
    ShowWindow(FormWindow(), SW_HIDE);
    PumpFor(400);
    const int32_t hidden = ShownFrame();
    PumpFor(600);
    EXPECT_EQ(ShownFrame(), hidden) << "frames went on while the view was hidden";
    EXPECT_FALSE(KillTimer(FormWindow(), kFrameTimer)) << "the timer ticks while the view is hidden";
    ShowWindow(FormWindow(), SW_SHOW);
    EXPECT_TRUE(PumpUntil([hidden] { return ShownFrame() != hidden; }, kClickTimeoutMs)) << "the play did not go on";
}

// The fixture's teardown counts every object and GDI object.
TEST_F(ViewAnimation, AHostDestroyedInThePlayTakesTimerAndViewAlong)
{
    StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    ASSERT_TRUE(ClickTo(FormWindow(), kMusic));
    ASSERT_TRUE(PumpUntil([] { return ShownFrame() >= 1; }, kClickTimeoutMs));
    HWND form = FormWindow();
    host->Destroy();
    PumpFor(400);
    EXPECT_FALSE(IsWindow(form));
    EXPECT_EQ(PlayingAnimation(), nullptr);
    EXPECT_EQ(PluginView, nullptr);
}

}  // namespace
