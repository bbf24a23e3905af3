// Building the view, moving it into the host window, and letting it go with
// the host window or the library.
#include "plugin/view.h"

#include "plugin/module.h"
#include "plugin/view_internal.h"
#include "png/image.h"
#include "winlayer/winlayer.h"

ViewHolder* PluginView = nullptr;
Control* ViewApplet = nullptr;
PngImage* CurrentImage = nullptr;
Bitmap* BackgroundBitmap = nullptr;
int32_t ImageIndex = 0;

namespace {

// A child window that clips its siblings and children. Replacing the whole
// style also drops the WS_DISABLED the builder set, so the form takes clicks.
constexpr uint32_t kFormStyle = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr uint32_t kFormExStyle = WS_EX_CONTROLPARENT;
constexpr int32_t kFormLeft = 425;
constexpr int32_t kFormTop = 265;
constexpr int32_t kFormClientWidth = 243;
constexpr int32_t kFormClientHeight = 226;
constexpr int32_t kButtonLeft = 120;
constexpr int32_t kButtonTop = 152;
constexpr uint32_t kReparentDelayMs = 20;
// Sent from the timer thread to the form: re-parent now. The tick only posts;
// re-parenting and showing happen on the form's own thread, so no thread
// ever waits on another (a tick blocked in a cross-thread SetParent while the
// UI thread stops the timer synchronously would deadlock).
constexpr UINT kReparentMessage = kRecaptureMessage - 1;

// Runs on the multimedia timer's thread; one tick is all it takes.
void ReparentTick(void* context, MultimediaTimer* timer)
{
    timer->SetEnabled(false);
    PostMessageA(static_cast<ViewHolder*>(context)->Form->Window, kReparentMessage, 0, 0);
}

// Makes the form a child of HostWindow, shows it and asks for the capture.
// A host window that is gone, or a failed SetParent, leaves the form hidden:
// shown unparented it would appear as a stray popup on the desktop.
bool ReparentHandler(Control* form, MSG* message, LRESULT* result)
{
    if (message->message != kReparentMessage || message->hwnd != form->Window || !PluginView ||
        PluginView->Form != form)
        return false;
    HWND host = HostWindow;
    if (host && IsWindow(host)) {
        SetParent(form->Window, host);
        if (GetAncestor(form->Window, GA_PARENT) == host) {
            form->SetVisible(true);
            PostMessageA(form->Window, kRecaptureMessage, 0, 0);
        }
    }
    *result = 0;
    return true;
}

// Forgets the view, stops its timer before anything it touches can go, and
// releases the applet, which takes the form and all it owns along.
void TearDownView()
{
    ViewHolder* view = PluginView;
    Control* applet = ViewApplet;
    PluginView = nullptr;
    ViewApplet = nullptr;
    if (view && view->Timer)
        view->Timer->SetEnabled(false);
    StopAnimation();
    Release(applet);
    // Only a live view draws it; a later view captures its own.
    Release(BackgroundBitmap);
    BackgroundBitmap = nullptr;
}

// Attached so that it runs even after a quit message was taken: the view's
// objects must go with the host window in every case.
bool DestroyHandler(Control* form, MSG* message, LRESULT*)
{
    if (message->message == WM_DESTROY && message->hwnd == form->Window && PluginView && PluginView->Form == form)
        TearDownView();
    return false;
}

void RemoveCloseCommand(Control* form)
{
    HWND window = EnsureWindow(form);
    HMENU menu = window ? GetSystemMenu(window, FALSE) : nullptr;
    if (menu)
        DeleteMenu(menu, SC_CLOSE, MF_BYCOMMAND);
}

bool AddTimer(ViewHolder* view)
{
    view->Timer = CreateMultimediaTimer(kReparentDelayMs);
    if (!view->Timer)
        return false;
    AddOwned(view->Form, view->Timer);
    view->Timer->TimerEvent = {ReparentTick, view};
    return true;
}

bool AddButton(ViewHolder* view)
{
    view->Button = CreateButton(view->Form, "Button1");
    if (!view->Button)
        return false;
    view->Button->PlaceAt(kButtonLeft, kButtonTop);
    view->Button->SetVisible(false);
    view->Button->SetClickEvent({ButtonClickHandler, view});
    return true;
}

// False when a part of the view cannot be had: what was made goes with the
// applet, which the caller then releases.
bool BuildView(Control* applet)
{
    auto* view = Create<ViewHolder>();
    Control* form = view ? CreateForm(applet, "Form1") : nullptr;
    if (!form) {
        Release(view);
        return false;
    }
    PluginView = view;
    view->Form = form;
    form->PlaceAt(kFormLeft, kFormTop);
    AddOwned(form, view);
    form->SetEnabled(false);
    form->SetFramed(false);
    form->ResizeClientArea(kFormClientWidth, kFormClientHeight);
    RemoveCloseCommand(form);
    form->SetClickEvent({FormClickHandler, view});
    form->SetPaintEvent({ViewPaintHandler, view});
    if (!AddTimer(view) || !AddButton(view))
        return false;
    AttachHandler(form, DestroyHandler, true);
    AttachHandler(form, ReparentHandler, true);
    AttachHandler(form, RecaptureHandler);
    AttachHandler(form, AnimationTimerHandler);
    // Without a picture object every click just finds nothing to show.
    if (!CurrentImage)
        CurrentImage = Create<PngImage>();
    return true;
}

}  // namespace

void StartLibrary(HINSTANCE instance) { StartWindowLayer(instance); }

void StopLibrary()
{
    TearDownView();
    Release(CurrentImage);
    CurrentImage = nullptr;
    DropSparePixelMemory();
    ImageIndex = 0;
    StopWindowLayer();
}

void StartView()
{
    const bool hostIsChild = GetParent(HostWindow) != nullptr;
    if (PluginView)
        return;
    ViewApplet = CreateApplet(hostIsChild ? "pluginedit" : "pluginreal");
    if (!ViewApplet)
        return;
    ViewApplet->SetVisible(false);
    if (!BuildView(ViewApplet)) {
        TearDownView();
        return;
    }
    Control* form = PluginView->Form;
    form->SetStyle(kFormStyle);
    form->SetExStyle(kFormExStyle);
    form->SetVisible(false);
    PluginView->Timer->SetEnabled(true);
}

void PlaceView()
{
    // Before SetParentWindow, and once the view went with its host window,
    // there is nothing to move; ViewRectangle is kept for the next capture.
    if (!PluginView || !PluginView->Form->Window)
        return;
    const ViewRect r = ViewRectangle;
    SetWindowPos(PluginView->Form->Window, HWND_BOTTOM, r.X, r.Y, r.Width, r.Height, SWP_NOZORDER);
}
