// What the host window shows under the view after each click: the captured
// host pixels with the picture blended over them, checked pixel for pixel
// against stb_image's decoding of the same file and the blend rule
// (s * a + (255 - a) * d + 255) >> 8. Black is the key colour of the one
// picture without alpha.
#include <gtest/gtest.h>

#include "plugin/view.h"
#include "tests/plugin/view_support.h"

namespace {

class ViewPixels : public ViewFixture, public testing::WithParamInterface<int> {};

constexpr DWORD kClickTimeoutMs = 2000;
constexpr DWORD kSettleMs = 150;

Pixels ViewOnScreen(HWND host) { return ReadClient(host, kViewBox.X, kViewBox.Y, kViewBox.Width, kViewBox.Height); }

// Clicks until the view has shown the picture of the given index.
bool ClickThrough(HWND form, int index)
{
    for (int click = 1; click <= index + 1; ++click) {
        PostClick(form);
        if (!PumpUntil([click] { return ImageIndex == click; }, kClickTimeoutMs))
            return false;
    }
    PumpFor(kSettleMs);
    return true;
}

TEST_P(ViewPixels, PictureIsBlendedOverTheHostPixels)
{
    const char* file = kImageFiles[GetParam()];
    OraclePicture picture;
    ASSERT_TRUE(DecodeWithOracle(file, picture)) << file;
    StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    ASSERT_TRUE(ClickThrough(FormWindow(), GetParam()));
    EXPECT_TRUE(ShowsPicture(ViewOnScreen(host->Handle()), HostPixelsUnderView(), picture)) << file;

    // A repaint draws the same again (an animation's frame of the moment),
    // from the background, not over itself.
    RedrawWindow(FormWindow(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    PumpFor(kSettleMs);
    EXPECT_TRUE(ShowsPicture(ViewOnScreen(host->Handle()), HostPixelsUnderView(), picture))
        << file << " after a repaint";
}

std::string SampleName(const testing::TestParamInfo<int>& info)
{
    static const char* const kNames[] = {"GauntletWoman", "Ms34", "IcoPodium", "KbzLogo", "Music", "Bg"};
    return kNames[info.param];
}

INSTANTIATE_TEST_SUITE_P(SixSamples, ViewPixels, testing::Range(0, 6), SampleName);

}  // namespace
