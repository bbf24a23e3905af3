// The view's life: built hidden by SetParentWindow, moved into the host by
// the deferred tick, gone with the host window, and harmless around that.
#include <gtest/gtest.h>

#include "plugin/module.h"
#include "plugin/pngplug.h"
#include "plugin/view.h"
#include "png/image.h"
#include "tests/plugin/view_support.h"
#include "winlayer/winlayer.h"

namespace {

using ViewLifecycle = ViewFixture;

constexpr DWORD kQuietMs = 250;

// Objects an empty picture consists of: CurrentImage stays after the view.
int32_t EmptyImageObjects()
{
    const int32_t before = Obj::LiveCount();
    PngImage* image = Create<PngImage>();
    const int32_t count = Obj::LiveCount() - before;
    Release(image);
    return count;
}

bool IsVisibleChildOf(HWND window, HWND parent)
{
    return window && IsWindowVisible(window) && GetAncestor(window, GA_PARENT) == parent;
}

TEST_F(ViewLifecycle, FormWaitsHiddenOutsideTheHostUntilTheDelayHasPassed)
{
    HWND hostWindow = StartWithHost();
    const DWORD started = GetTickCount();
    HWND form = FormWindow();
    ASSERT_NE(form, nullptr) << "SetParentWindow makes the form's window at once";
    EXPECT_FALSE(IsWindowVisible(form));
    EXPECT_NE(GetAncestor(form, GA_PARENT), hostWindow);

    ASSERT_TRUE(PumpUntil([&] { return IsVisibleChildOf(form, hostWindow); }, 3000));
    EXPECT_GE(GetTickCount() - started, 15u) << "the move into the host waits for the 20 ms timer";
    ASSERT_TRUE(WaitForCapture());
    const LONG style = GetWindowLongA(form, GWL_STYLE);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_FALSE(style & WS_DISABLED) << "the form must take clicks";
    EXPECT_EQ(GetWindowLongA(form, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY, WS_EX_CONTROLPARENT);
}

TEST_F(ViewLifecycle, CapturesOnceThoughTheTimerIsPeriodic)
{
    StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    Bitmap* first = BackgroundBitmap;
    PumpFor(kQuietMs);
    EXPECT_EQ(BackgroundBitmap, first) << "a second tick captured again";
    EXPECT_EQ(PluginView->Timer->TimerHandle.load(), 0u) << "the timer still runs";
}

TEST_F(ViewLifecycle, FormIsFramelessWithoutCloseCommandAndItsButtonStaysHidden)
{
    StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    HWND form = FormWindow();
    EXPECT_EQ(GetWindowLongA(form, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_BORDER), 0);
    EXPECT_EQ(GetWindowLongA(form, GWL_EXSTYLE) & (WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME), 0);
    RECT client{};
    GetClientRect(form, &client);
    EXPECT_EQ(client.right, kViewBox.Width);
    EXPECT_EQ(client.bottom, kViewBox.Height);
    // Without WS_SYSMENU a window may have no system menu at all.
    HMENU menu = GetSystemMenu(form, FALSE);
    EXPECT_TRUE(menu == nullptr || GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND) == static_cast<UINT>(-1));

    PostClick(form);
    PumpFor(kQuietMs);
    Control* button = PluginView->Button;
    EXPECT_FALSE(button->Visible);
    EXPECT_TRUE(button->Window == nullptr || !IsWindowVisible(button->Window));
}

TEST_F(ViewLifecycle, AppletIsCaptionedForAChildHost)
{
    StartWithHost(true);
    ASSERT_NE(ViewApplet, nullptr);
    EXPECT_EQ(ViewApplet->Caption, "pluginedit");
    ASSERT_TRUE(WaitForCapture());
    EXPECT_TRUE(ViewApplet->Window == nullptr || !IsWindowVisible(ViewApplet->Window));
}

TEST_F(ViewLifecycle, AppletIsCaptionedForATopLevelHost)
{
    StartWithHost(false);
    ASSERT_NE(ViewApplet, nullptr);
    EXPECT_EQ(ViewApplet->Caption, "pluginreal");
    ASSERT_TRUE(WaitForCapture());
    EXPECT_TRUE(ViewApplet->Window == nullptr || !IsWindowVisible(ViewApplet->Window));
}

TEST_F(ViewLifecycle, SecondSetParentWindowBuildsNoSecondView)
{
    HWND first = StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    ViewHolder* view = PluginView;
    TestHost other;
    SetParentWindow(other.Handle());
    PumpFor(kQuietMs);
    EXPECT_EQ(PluginView, view);
    EXPECT_EQ(HostWindow, other.Handle());
    EXPECT_EQ(GetAncestor(FormWindow(), GA_PARENT), first) << "the form stays where it was put";
}

TEST_F(ViewLifecycle, DrawBeforeSetParentWindowOnlyRecordsTheRectangle)
{
    Draw(0, kViewBox.X, kViewBox.Y, kViewBox.Width, kViewBox.Height);
    EXPECT_EQ(PluginView, nullptr);
    host = std::make_unique<TestHost>();
    SetParentWindow(host->Handle());
    ASSERT_TRUE(WaitForCapture());
    EXPECT_EQ(BackgroundBitmap->Width, kViewBox.Width);
    EXPECT_EQ(BackgroundBitmap->Height, kViewBox.Height);
}

TEST_F(ViewLifecycle, DestroyingTheHostReleasesEveryObjectOfTheView)
{
    const int32_t objectsBefore = Obj::LiveCount();
    const int32_t gdiBefore = GdiLiveCount();
    StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    host->Destroy();
    PumpFor(50);
    EXPECT_EQ(PluginView, nullptr);
    EXPECT_EQ(ViewApplet, nullptr);
    EXPECT_EQ(BackgroundBitmap, nullptr);
    EXPECT_EQ(FindWindowA("obj_App", "pluginreal"), nullptr) << "the applet's window outlived the view";
    EXPECT_EQ(Obj::LiveCount(), objectsBefore + EmptyImageObjects()) << "only the empty picture may stay";
    EXPECT_EQ(GdiLiveCount(), gdiBefore);
}

TEST_F(ViewLifecycle, CallsAfterTheViewWentAreHarmlessAndANewHostGetsAView)
{
    StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    host->Destroy();
    PumpFor(50);
    ASSERT_EQ(PluginView, nullptr);
    Draw(0, 10, 10, 100, 100);

    HWND second = StartWithHost();
    ASSERT_NE(PluginView, nullptr);
    ASSERT_TRUE(WaitForCapture());
    EXPECT_EQ(GetAncestor(FormWindow(), GA_PARENT), second);
    PostClick(FormWindow());
    PumpFor(kQuietMs);
    EXPECT_EQ(ImageIndex, 1);
}

TEST_F(ViewLifecycle, HostGoneBeforeTheDelayLeavesNoStrayWindow)
{
    StartWithHost();
    HWND form = FormWindow();
    host->Destroy();
    PumpFor(kQuietMs);
    ASSERT_TRUE(IsWindow(form)) << "the form was not yet the host's child";
    EXPECT_FALSE(IsWindowVisible(form)) << "an unparented form would float on the desktop";
    EXPECT_EQ(BackgroundBitmap, nullptr);
}

TEST_F(ViewLifecycle, NullHostBuildsAViewThatNeverShows)
{
    SetParentWindow(nullptr);
    Draw(0, kViewBox.X, kViewBox.Y, kViewBox.Width, kViewBox.Height);
    ASSERT_NE(ViewApplet, nullptr);
    EXPECT_EQ(ViewApplet->Caption, "pluginreal");
    PumpFor(kQuietMs);
    EXPECT_FALSE(IsWindowVisible(FormWindow()));
    EXPECT_EQ(BackgroundBitmap, nullptr) << "nothing to copy from: not the screen either";
}

}  // namespace
