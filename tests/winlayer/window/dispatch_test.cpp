// Message dispatch: the handler chain's order, deferred release, the layer's
// window classes, lazy creation and visibility, the queue drain and quit.
#include <string>

#include "tests/winlayer/window/layer_fixture.h"

namespace {

constexpr UINT kProbe = WM_APP + 1;
constexpr UINT kReleaseSelf = WM_APP + 2;
constexpr UINT kOther = WM_APP + 3;

std::string trail;
bool formDestroyed = false;

bool RecordA(Control*, MSG* message, LRESULT*)
{
    if (message->message == kProbe || message->message == kOther || message->message == WM_SETTEXT)
        trail += 'A';
    return false;
}

bool RecordB(Control*, MSG* message, LRESULT*)
{
    if (message->message == kProbe)
        trail += 'B';
    return false;
}

// Takes WM_SETTEXT for itself: the default processing must not see it.
bool SwallowSetText(Control*, MSG* message, LRESULT* result)
{
    if (message->message != WM_SETTEXT)
        return false;
    trail += 'S';
    *result = 42;
    return true;
}

bool ReleaseOnRequest(Control* control, MSG* message, LRESULT*)
{
    if (message->message == kReleaseSelf)
        Release(control);
    return false;
}

// Attached before ReleaseOnRequest, so it runs after it: the control must
// still be whole.
bool ReadAfterRelease(Control* control, MSG* message, LRESULT*)
{
    if (message->message == kReleaseSelf && !formDestroyed)
        trail += control->Caption;
    return false;
}

bool PostHookRecords(Control*, MSG* message, LRESULT*)
{
    if (message->message == kReleaseSelf || message->message == kProbe)
        trail += formDestroyed ? "!" : "P";
    return false;
}

bool KeepAfterQuit(Control*, MSG* message, LRESULT*)
{
    if (message->message == kProbe)
        trail += 'K';
    return false;
}

bool HookTakesProbe(Control*, MSG* message) { return message->message == kProbe; }

void MarkDestroyed(void*, Obj*) { formDestroyed = true; }

Control* HiddenApplet()
{
    Control* applet = CreateApplet("test");
    applet->SetVisible(false);
    return applet;
}

class DispatchTest : public LayerTest {
protected:
    void SetUp() override
    {
        LayerTest::SetUp();
        trail.clear();
        formDestroyed = false;
    }
};

TEST_F(DispatchTest, LaterHandlerRunsFirstAndHandledHidesOlderAndDefault)
{
    Control* applet = HiddenApplet();
    Control* form = CreateForm(applet, "Form1");
    AttachHandler(form, RecordA);
    AttachHandler(form, RecordB);
    AttachHandler(form, RecordA);  // already there: no second call
    SendToControl(form, kProbe, 0, 0);
    EXPECT_EQ(trail, "BA");

    trail.clear();
    AttachHandler(form, SwallowSetText);
    LRESULT result = SendToControl(form, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("changed"));
    EXPECT_EQ(result, 42);
    EXPECT_EQ(trail, "S");
    char caption[32] = {};
    GetWindowTextA(form->Window, caption, sizeof caption);
    EXPECT_STREQ(caption, "Form1");
    Release(applet);
}

TEST_F(DispatchTest, ControlReleasedInItsOwnHandlerLivesUntilItsMessageIsDone)
{
    int32_t level = Obj::LiveCount();
    Control* form = CreateForm(nullptr, "kept");
    form->DestroyEvent = {MarkDestroyed, nullptr};
    form->PostProcessHook = PostHookRecords;
    AttachHandler(form, ReadAfterRelease);
    AttachHandler(form, ReleaseOnRequest);
    HWND window = EnsureWindow(form);
    ASSERT_NE(window, nullptr);

    SendMessageA(window, kReleaseSelf, 0, 0);
    EXPECT_EQ(trail, "keptP");
    EXPECT_TRUE(formDestroyed);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(Obj::LiveCount(), level);
}

TEST_F(DispatchTest, FormClassIsRegisteredOnceAndButtonExtendsTheSystemClass)
{
    Control* applet = HiddenApplet();
    Control* first = CreateForm(applet, "one");
    Control* second = CreateForm(applet, "two");
    Control* button = CreateButton(first, "press");
    ASSERT_NE(EnsureWindow(first), nullptr);
    ASSERT_NE(EnsureWindow(second), nullptr);
    ASSERT_NE(EnsureWindow(button), nullptr);

    char name[32] = {};
    GetClassNameA(first->Window, name, sizeof name);
    EXPECT_STREQ(name, "obj_Form");
    EXPECT_EQ(GetClassLongA(first->Window, GCW_ATOM), GetClassLongA(second->Window, GCW_ATOM));
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetClassLongPtrA(first->Window, GCLP_WNDPROC)), WindowProc);

    WNDCLASSA system{};
    ASSERT_TRUE(GetClassInfoA(nullptr, "BUTTON", &system));
    GetClassNameA(button->Window, name, sizeof name);
    EXPECT_STREQ(name, "obj_BUTTON");
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetClassLongPtrA(button->Window, GCLP_WNDPROC)), WindowProc);
    EXPECT_EQ(button->DefaultProc, system.lpfnWndProc);
    EXPECT_EQ(GetClassLongA(button->Window, GCL_CBWNDEXTRA), system.cbWndExtra);
    // Only the system procedure knows the pushed state; DefWindowProc answers 0.
    SendMessageA(button->Window, BM_SETSTATE, TRUE, 0);
    EXPECT_TRUE(SendMessageA(button->Window, BM_GETSTATE, 0, 0) & BST_PUSHED);
    Release(applet);
}

TEST_F(DispatchTest, WindowOfUnsetVisibilityStartsHiddenAndShowsAtNextMakeWindow)
{
    Control* applet = HiddenApplet();
    Control* shown = CreateForm(applet, "shown later");
    Control* hidden = CreateForm(applet, "hidden");
    hidden->SetVisible(false);
    ASSERT_NE(EnsureWindow(shown), nullptr);
    ASSERT_NE(EnsureWindow(hidden), nullptr);
    EXPECT_FALSE(IsWindowVisible(shown->Window));

    EXPECT_TRUE(shown->MakeWindow());
    EXPECT_TRUE(hidden->MakeWindow());
    EXPECT_TRUE(IsWindowVisible(shown->Window));
    EXPECT_FALSE(IsWindowVisible(hidden->Window));
    EXPECT_FALSE(IsWindowVisible(applet->Window));
    Release(applet);
}

TEST_F(DispatchTest, ChildWindowCreationMakesTheParentWindowsFirst)
{
    Control* applet = HiddenApplet();
    Control* form = CreateForm(applet, "parent");
    Control* button = CreateButton(form, "child");
    ASSERT_EQ(form->Window, nullptr);
    ASSERT_NE(EnsureWindow(button), nullptr);
    ASSERT_NE(form->Window, nullptr);
    ASSERT_NE(applet->Window, nullptr);
    EXPECT_EQ(GetParent(button->Window), form->Window);
    EXPECT_EQ(GetWindow(form->Window, GW_OWNER), applet->Window);
    EXPECT_EQ(GetDlgCtrlID(button->Window), button->ControlId);
    Release(applet);
}

TEST_F(DispatchTest, QuitTakenByTheDrainSkipsOrdinaryHandlersAndThePostHook)
{
    Control* applet = HiddenApplet();
    Control* form = CreateForm(applet, "Form1");
    AttachHandler(form, KeepAfterQuit, true);
    AttachHandler(form, RecordA);
    form->PostProcessHook = PostHookRecords;
    ASSERT_NE(EnsureWindow(form), nullptr);
    PostMessageA(form->Window, kProbe, 0, 0);
    PostQuitMessage(7);

    DrainMessageQueue(form);
    EXPECT_TRUE(AppletTerminated);
    EXPECT_EQ(trail, "AKP");  // the posted probe went before the quit

    trail.clear();
    SendToControl(form, kProbe, 0, 0);
    EXPECT_EQ(trail, "K");
    // The host's own loop still gets its quit request.
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 7u);
    Release(applet);
}

TEST_F(DispatchTest, DrainOffersEveryMessageToTheControlsHookFirst)
{
    Control* applet = HiddenApplet();
    Control* form = CreateForm(applet, "Form1");
    AttachHandler(form, RecordA);
    form->MessageHook = HookTakesProbe;
    ASSERT_NE(EnsureWindow(form), nullptr);
    PostMessageA(form->Window, kProbe, 0, 0);
    PostMessageA(form->Window, kOther, 0, 0);
    DrainMessageQueue(form);
    EXPECT_EQ(trail, "A");  // the probe was kept from dispatch, the other message was not
    EXPECT_FALSE(AppletTerminated);
    Release(applet);
}

}  // namespace
