// Lazy window creation and class registration.
#include <cstring>
#include <initializer_list>

#include "winlayer/window/dispatch.h"
#include "winlayer/window/layer_internal.h"

namespace {

// Every class this layer registered, so that StopWindowLayer can take them
// back: a DLL's classes are not unregistered when it unloads.
constexpr int kMaxClasses = 16;
constexpr size_t kClassNameSize = 64;
char registeredClasses[kMaxClasses][kClassNameSize];
int registeredCount = 0;

// prefix then text into out[kClassNameSize], cut to fit. (Not snprintf: the
// run-time's formatter would be the biggest single piece of the DLL.)
void JoinClassName(char* out, const char* prefix, const char* text)
{
    size_t used = 0;
    for (const char* part : {prefix, text})
        for (; *part && used + 1 < kClassNameSize; ++part)
            out[used++] = *part;
    out[used] = 0;
}

// Keeps the first ClassStyle and window procedure the class was made with;
// later controls of the same class share it.
bool EnsureClassRegistered(Control* control, const char* className)
{
    HINSTANCE instance = WindowLayerInstance();
    WNDCLASSA windowClass{};
    if (control->IsChildControl) {
        // Superclassing: the system procedure becomes the default processing,
        // and its extra window bytes must come along, since it keeps its state there.
        if (!GetClassInfoA(nullptr, control->ControlClassName, &windowClass))
            return false;
        control->DefaultProc = windowClass.lpfnWndProc;
    }
    WNDCLASSA existing{};
    if (GetClassInfoA(instance, className, &existing))
        return true;
    if (registeredCount >= kMaxClasses)
        return false;
    windowClass.style = control->ClassStyle;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = nullptr;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = nullptr;
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = className;
    if (!RegisterClassA(&windowClass))
        return false;
    JoinClassName(registeredClasses[registeredCount++], "", className);
    return true;
}

void LoadWindowIcon(Control* control)
{
    HICON icon = nullptr;
    bool owns = false;
    if (LibraryApplet && LibraryApplet != control && LibraryApplet->Icon) {
        icon = static_cast<HICON>(CopyImage(LibraryApplet->Icon, IMAGE_ICON, 0, 0, 0));
        owns = icon != nullptr;
    } else {
        // Shared resource icon: never destroyed by the control.
        icon = LoadIconA(WindowLayerInstance(), "MAINICON");
    }
    control->Icon = icon;
    control->OwnsIcon = owns;
    SendMessageA(control->Window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
}

bool CreateOwnWindow(Control* control, const char* className)
{
    const RECT& r = control->BoundsRect;
    int x = r.left;
    int y = r.top;
    int width = r.right - r.left;
    int height = r.bottom - r.top;
    if (width == 0)
        width = CW_USEDEFAULT;
    if (height == 0)
        height = CW_USEDEFAULT;
    if (control->IsTopLevel() && !control->LeftChanged && !control->TopChanged)
        x = y = CW_USEDEFAULT;
    // For a window without WS_CHILD this argument is a menu handle: an
    // identifier there would make the creation fail.
    HMENU menu = (control->Style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(control->ControlId))
                                             : nullptr;
    HWND parentWindow = control->Parent ? control->Parent->Window : nullptr;
    CreatingControl = control;
    HWND window = CreateWindowExA(control->ExStyle, className, control->Caption.c_str(), control->Style, x, y,
                                  width, height, parentWindow, menu, WindowLayerInstance(), nullptr);
    CreatingControl = nullptr;
    if (!window) {
        control->Window = nullptr;
        return false;
    }
    if (!control->Window)
        BindWindow(control, window);
    return true;
}

}  // namespace

void UnregisterLayerClasses()
{
    HINSTANCE instance = WindowLayerInstance();
    for (int i = 0; i < registeredCount; ++i)
        UnregisterClassA(registeredClasses[i], instance);
    registeredCount = 0;
}

void MakeChildWindows(Control* control)
{
    // A child's MakeWindow can add or remove children: re-read the count.
    for (int32_t i = 0; control->Children && i < control->Children->Count; ++i)
        static_cast<Control*>(control->Children->Item(i))->MakeWindow();
}

bool Control::MakeWindow()
{
    if (Parent && !EnsureWindow(Parent))
        return false;
    if (Window) {
        MakeChildWindows(this);
        if (ShowAfterCreation) {
            ShowAfterCreation = false;
            Style |= WS_VISIBLE;
            Visible = true;
            ShowWindow(Window, SW_SHOW);
        }
        return true;
    }
    char className[kClassNameSize];
    JoinClassName(className, "obj_", ControlClassName);
    if (!EnsureClassRegistered(this, className) || !CreateOwnWindow(this, className))
        return false;
    constexpr WPARAM kClearHideFocus = MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS);
    SendMessageA(Window, WM_UPDATEUISTATE, kClearHideFocus, 0);
    if (!IsChildControl)
        LoadWindowIcon(this);
    if (AfterCreationHook)
        AfterCreationHook(this);
    MakeChildWindows(this);
    return true;
}

HWND EnsureWindow(Control* control)
{
    if (!control)
        return nullptr;
    if (control->Window)
        return control->Window;
    if (control->VisibilitySet) {
        control->MakeWindow();
        return control->Window;
    }
    // Created hidden, so that the window is complete before it first shows.
    bool wanted = control->Visible;
    control->Visible = false;
    control->Style &= ~static_cast<uint32_t>(WS_VISIBLE);
    control->MakeWindow();
    if (control->Window)
        control->ShowAfterCreation = wanted;
    return control->Window;
}

LRESULT SendToControl(Control* control, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND window = EnsureWindow(control);
    return window ? SendMessageA(window, message, wParam, lParam) : 0;
}
