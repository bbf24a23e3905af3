// The capture: the host's own pixels under the view, copied once with the
// form out of the way, drawn again wherever the view goes.
#include <gtest/gtest.h>

#include "plugin/pngplug.h"
#include "plugin/view.h"
#include "png/image.h"
#include "tests/plugin/view_support.h"
#include "winlayer/winlayer.h"

namespace {

using ViewCapture = ViewFixture;

constexpr ViewBox kMovedBox{60, 70, kViewBox.Width, kViewBox.Height};
constexpr DWORD kSettleMs = 150;

Pixels BackgroundPixels() { return ReadBitmap(BackgroundBitmap->GetHandle()); }

// Dispatches like PumpUntil, but puts a quit message in the queue just
// before the view's capture request is dispatched, so the capture's drain
// finds it there.
bool PumpWithQuitBeforeCapture(DWORD timeoutMs)
{
    bool quitPosted = false;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs && !(quitPosted && BackgroundBitmap)) {
        MSG message;
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            continue;
        }
        if (message.message == WM_QUIT)
            continue;
        if (message.message == kRecaptureMessage && !quitPosted) {
            PostQuitMessage(0);
            quitPosted = true;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return quitPosted && BackgroundBitmap;
}

TEST_F(ViewCapture, BackgroundHoldsTheHostPixelsUnderTheView)
{
    StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    EXPECT_TRUE(SamePixels(BackgroundPixels(), HostPixelsUnderView()));
    EXPECT_TRUE(SamePixels(ReadClient(host->Handle(), kViewBox.X, kViewBox.Y, kViewBox.Width, kViewBox.Height),
                           HostPixelsUnderView()))
        << "before any click the view shows the host's own pixels";
}

TEST_F(ViewCapture, ChildHostIsCapturedInItsOwnClientCoordinates)
{
    StartWithHost(true);
    ASSERT_TRUE(WaitForCapture());
    EXPECT_TRUE(SamePixels(BackgroundPixels(), HostPixelsUnderView()));
}

TEST_F(ViewCapture, DrawAfterTheCaptureMovesTheOldBackgroundWithoutCapturingAgain)
{
    StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    PostClick(FormWindow());
    ASSERT_TRUE(PumpUntil([] { return ImageIndex == 1; }, 2000));
    const int32_t bitmaps = GdiLiveCounts().Bitmaps;

    Draw(0, kMovedBox.X, kMovedBox.Y, kMovedBox.Width, kMovedBox.Height);
    PumpFor(kSettleMs);
    RECT moved{};
    GetWindowRect(FormWindow(), &moved);
    MapWindowPoints(nullptr, host->Handle(), reinterpret_cast<POINT*>(&moved), 2);
    EXPECT_EQ(moved.left, kMovedBox.X);
    EXPECT_EQ(moved.top, kMovedBox.Y);
    EXPECT_EQ(GdiLiveCounts().Bitmaps, bitmaps) << "a move must not capture";
    EXPECT_TRUE(SamePixels(BackgroundPixels(), HostPixelsUnderView(kViewBox)));
    OraclePicture picture;
    ASSERT_TRUE(DecodeWithOracle(kImageFiles[0], picture));
    EXPECT_TRUE(SamePixels(ReadClient(host->Handle(), kMovedBox.X, kMovedBox.Y, kMovedBox.Width, kMovedBox.Height),
                           ExpectedView(HostPixelsUnderView(kViewBox), picture)))
        << "the repaint at the new place shows the old background and the picture";
}

TEST_F(ViewCapture, AnotherCaptureRequestTakesThePixelsAtTheNewPlaceAndReleasesTheOld)
{
    StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    const int32_t bitmaps = GdiLiveCounts().Bitmaps;
    Draw(0, kMovedBox.X, kMovedBox.Y, kMovedBox.Width, kMovedBox.Height);
    PostMessageA(FormWindow(), kRecaptureMessage, 0, 0);
    PumpFor(kSettleMs);
    EXPECT_TRUE(SamePixels(BackgroundPixels(), HostPixelsUnderView(kMovedBox)));
    EXPECT_EQ(GdiLiveCounts().Bitmaps, bitmaps) << "the replaced background was not released";
    EXPECT_TRUE(IsWindowVisible(FormWindow()));
}

TEST_F(ViewCapture, EmptyRectangleCapturesNothingAndTheViewStillCycles)
{
    StartWithHost(false, {kViewBox.X, kViewBox.Y, 0, 0});
    ASSERT_TRUE(PumpUntil([this] { return FormWindow() && IsWindowVisible(FormWindow()); }, 3000));
    PumpFor(kSettleMs);
    EXPECT_EQ(BackgroundBitmap, nullptr);

    PostClick(FormWindow());
    ASSERT_TRUE(PumpUntil([] { return ImageIndex == 1; }, 2000));
    EXPECT_GT(CurrentImage->Width(), 0);
    // Grown again later, the view repaints without a background to copy.
    Draw(0, kViewBox.X, kViewBox.Y, kViewBox.Width, kViewBox.Height);
    RedrawWindow(FormWindow(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    PumpFor(kSettleMs);
    EXPECT_EQ(BackgroundBitmap, nullptr);
    EXPECT_EQ(ImageIndex, 1);
}

TEST_F(ViewCapture, QuitMessageWaitingDuringTheCaptureSilencesTheView)
{
    StartWithHost();
    ASSERT_TRUE(PumpWithQuitBeforeCapture(3000));
    EXPECT_TRUE(AppletTerminated);
    PumpFor(kSettleMs);
    EXPECT_TRUE(SamePixels(BackgroundPixels(), HostPixelsUnderView())) << "the capture itself still completes";

    PostClick(FormWindow());
    PumpFor(kSettleMs);
    EXPECT_EQ(ImageIndex, 0) << "the click handler ran after the quit";
    Draw(0, kMovedBox.X, kMovedBox.Y, kMovedBox.Width, kMovedBox.Height);
    PostMessageA(FormWindow(), kRecaptureMessage, 0, 0);
    PumpFor(kSettleMs);
    EXPECT_TRUE(SamePixels(BackgroundPixels(), HostPixelsUnderView())) << "the capture handler ran after the quit";

    // The view still goes with its host; the fixture checks that nothing stays.
    host->Destroy();
    PumpFor(50);
    EXPECT_EQ(PluginView, nullptr);
    EXPECT_EQ(ViewApplet, nullptr);
}

}  // namespace
