// How controls end: with their owner, with a window destroyed from outside,
// and how the layer leaves its module so that it can start again.
#include "tests/winlayer/window/layer_fixture.h"

namespace {

Control* appletToRelease = nullptr;

// What a view does: its form's window goes with the host, and the form's
// destroy handler releases the applet that owns the form.
bool ReleaseAppletOnDestroy(Control*, MSG* message, LRESULT*)
{
    if (message->message == WM_DESTROY) {
        Control* applet = appletToRelease;
        appletToRelease = nullptr;
        Release(applet);
    }
    return false;
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateHost()
{
    WNDCLASSA host{};
    host.lpfnWndProc = HostProc;
    host.hInstance = GetModuleHandleA(nullptr);
    host.lpszClassName = "lifetime_host";
    RegisterClassA(&host);
    return CreateWindowExA(0, "lifetime_host", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 300, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
}

// A form with a button, a canvas holding a window context, an owned timer
// and a background brush: everything a view form carries.
Control* FurnishedForm(Control* applet)
{
    Control* form = CreateForm(applet, "Form1");
    Control* button = CreateButton(form, "Button1");
    button->SetVisible(false);
    MultimediaTimer* timer = CreateMultimediaTimer(20);
    AddOwned(form, timer);
    EnsureWindow(form);
    form->Canvas()->GetHandle();
    GetControlBrushHandle(form);
    return form;
}

using LifetimeTest = LayerTest;

TEST_F(LifetimeTest, ReleasingAFormTakesItsChildrenToolsAndWindowsAlong)
{
    int32_t objects = Obj::LiveCount();
    int32_t gdi = GdiLiveCount();
    Control* form = FurnishedForm(nullptr);
    HWND window = form->Window;
    HWND button = static_cast<Control*>(form->Children->Item(0))->Window;
    ASSERT_TRUE(IsWindow(window));
    ASSERT_TRUE(IsWindow(button));
    ASSERT_GT(GdiLiveCount(), gdi);

    Release(form);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(IsWindow(button));
    EXPECT_EQ(Obj::LiveCount(), objects);
    EXPECT_EQ(GdiLiveCount(), gdi);
}

TEST_F(LifetimeTest, HostWindowDestructionReleasesTheFormAfterItsDestroyMessage)
{
    int32_t objects = Obj::LiveCount();
    int32_t gdi = GdiLiveCount();
    HWND host = CreateHost();
    ASSERT_NE(host, nullptr);
    Control* applet = CreateApplet("pluginreal");
    applet->SetVisible(false);
    Control* form = FurnishedForm(applet);
    AttachHandler(form, ReleaseAppletOnDestroy);
    appletToRelease = applet;
    form->SetStyle(WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    SetParent(form->Window, host);
    form->SetVisible(true);
    HWND appletWindow = applet->Window;
    PumpFor(50);

    DestroyWindow(host);
    EXPECT_EQ(appletToRelease, nullptr);
    EXPECT_FALSE(IsWindow(appletWindow));
    EXPECT_EQ(Obj::LiveCount(), objects);
    EXPECT_EQ(GdiLiveCount(), gdi);
    UnregisterClassA("lifetime_host", GetModuleHandleA(nullptr));
}

TEST_F(LifetimeTest, AppletWindowDestroyedFromOutsideReleasesAppletAndForm)
{
    int32_t objects = Obj::LiveCount();
    Control* applet = CreateApplet("outside");
    applet->SetVisible(false);
    Control* form = CreateForm(applet, "owned");
    ASSERT_NE(EnsureWindow(form), nullptr);
    HWND formWindow = form->Window;

    DestroyWindow(applet->Window);
    EXPECT_FALSE(IsWindow(formWindow));
    EXPECT_EQ(Obj::LiveCount(), objects);
}

TEST_F(LifetimeTest, StoppedLayerLeavesNoClassBehindAndStartsAgain)
{
    Control* applet = CreateApplet("first run");
    applet->SetVisible(false);
    ASSERT_NE(EnsureWindow(CreateForm(applet, "Form1")), nullptr);
    Release(applet);
    StopWindowLayer();

    HINSTANCE instance = GetModuleHandleA(nullptr);
    for (const char* name : {"obj_Form", "obj_App"}) {
        WNDCLASSA probe{};
        probe.lpfnWndProc = DefWindowProcA;
        probe.hInstance = instance;
        probe.lpszClassName = name;
        EXPECT_NE(RegisterClassA(&probe), 0) << name << " still registered";
        UnregisterClassA(name, instance);
    }

    StartWindowLayer(instance);
    ASSERT_NE(LibraryApplet, nullptr);
    EXPECT_EQ(LibraryApplet->Caption, "imgtile");
    applet = CreateApplet("second run");
    applet->SetVisible(false);
    EXPECT_NE(EnsureWindow(CreateForm(applet, "Form1")), nullptr);
    Release(applet);
}

}  // namespace
