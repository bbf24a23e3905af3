// The message handlers the layer attaches itself: clicks, painting,
// background, focus, the command reflection of common controls, the applet.
#include "winlayer/gdi/canvas.h"
#include "winlayer/window/dispatch.h"
#include "winlayer/gdi/gdi_count.h"
#include "winlayer/window/layer_internal.h"

namespace {

constexpr UINT kFirstReflectedColor = WM_CTLCOLORMSGBOX + kReflectOffset;
constexpr UINT kLastReflectedColor = WM_CTLCOLORSTATIC + kReflectOffset;

bool IsClick(UINT message)
{
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
        return true;
    default:
        return false;
    }
}

// Null when the window has nothing to repaint.
HRGN TakeUpdateRegion(HWND window)
{
    HRGN region = GdiCreateRectRgn(0, 0, 0, 0);
    if (!region)
        return nullptr;
    int kind = GetUpdateRgn(window, region, FALSE);
    if (kind == NULLREGION || kind == ERROR) {
        GdiDeleteObject(region);
        return nullptr;
    }
    return region;
}

LRESULT AnswerColorMessage(Control* control, HDC dc)
{
    SetTextColor(dc, ColorToRgb(control->TextColor));
    if (control->Transparent) {
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    }
    SetBkColor(dc, ColorToRgb(control->BackgroundColor));
    return reinterpret_cast<LRESULT>(GetControlBrushHandle(control));
}

void ClickButton(Control* control, MSG* message)
{
    if (control->FocusInProgress == 0 && control->Window)
        SetFocus(control->Window);
    LRESULT ignored = 0;
    control->ClickPreHook(control, message, &ignored);
    if (control->ClickEvent)
        control->ClickEvent(control);
}

}  // namespace

// Never handled: the platform's default processing still sees the press.
bool ClickHandler(Control* control, MSG* message, LRESULT*)
{
    if (!IsClick(message->message))
        return false;
    control->RightButton = message->message == WM_RBUTTONDOWN || message->message == WM_RBUTTONDBLCLK;
    if (control->ClickEvent)
        control->ClickEvent(control);
    return false;
}

bool PaintHandler(Control* control, MSG* message, LRESULT* result)
{
    if (message->message != WM_PAINT || !control->PaintEvent)
        return false;
    HRGN region = TakeUpdateRegion(message->hwnd);
    HRGN savedRegion = control->UpdateRegion;
    HDC savedDC = control->PaintDC;
    control->UpdateRegion = region;
    // A context in wParam (a print or a caller's own paint) is used as given;
    // only a real paint message validates the window through BeginPaint.
    PAINTSTRUCT paint{};
    HDC dc = reinterpret_cast<HDC>(message->wParam);
    bool began = dc == nullptr;
    if (began)
        dc = BeginPaint(message->hwnd, &paint);
    control->PaintDC = dc;
    control->PaintEvent(control, dc);
    // The paint context is the platform's: the canvas lets go without releasing it.
    if (control->ControlCanvas)
        control->ControlCanvas->SetHandle(nullptr);
    if (began)
        EndPaint(message->hwnd, &paint);
    control->PaintDC = savedDC;
    control->UpdateRegion = savedRegion;
    if (region)
        GdiDeleteObject(region);
    *result = 0;
    return true;
}

// Not handled: nothing else paints the background of a class without a brush.
bool EraseBackgroundHandler(Control* control, MSG* message, LRESULT*)
{
    if (message->message != WM_ERASEBKGND)
        return false;
    MakeChildWindows(control);
    if (control->Transparent)
        return false;
    auto dc = reinterpret_cast<HDC>(message->wParam);
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, ColorToRgb(control->BackgroundColor));
    SetBrushOrgEx(dc, 0, 0, nullptr);
    RECT client;
    GetClientRect(message->hwnd, &client);
    FillRect(dc, &client, GetControlBrushHandle(control));
    return false;
}

bool FocusHandler(Control* control, MSG* message, LRESULT* result)
{
    if (message->message != WM_SETFOCUS)
        return false;
    if (LibraryApplet)
        LibraryApplet->CurrentChild = control;
    Control* child = control->CurrentChild;
    if (!child || !EnsureWindow(child))
        return false;
    // Handled: the form taking the focus back would bounce it forever.
    SetFocus(child->Window);
    *result = 0;
    return true;
}

bool CommandHandler(Control* control, MSG* message, LRESULT* result)
{
    UINT number = message->message;
    if (number == kReflectedCommand && HIWORD(message->wParam) == control->ClickCode) {
        *result = DefaultProcessing(control, *message);
        ClickButton(control, message);
        return true;
    }
    if (number >= kFirstReflectedColor && number <= kLastReflectedColor) {
        *result = AnswerColorMessage(control, reinterpret_cast<HDC>(message->wParam));
        return true;
    }
    return false;
}

// A button's double-click counts as a second press.
bool ButtonDoubleClickHandler(Control*, MSG* message, LRESULT*)
{
    if (message->message == WM_LBUTTONDBLCLK)
        message->message = WM_LBUTTONDOWN;
    return false;
}

bool AppletHandler(Control* control, MSG* message, LRESULT* result)
{
    // LibraryApplet also sees the last messages of unbound windows.
    if (message->hwnd != control->Window)
        return false;
    if (message->message == WM_SETFOCUS) {
        Control* form = control->CurrentChild;
        if (!form || !form->Window)
            return false;
        SetFocus(form->Window);
        *result = 0;
        return true;
    }
    if (message->message == WM_SYSCOMMAND && (message->wParam & 0xFFF0) == SC_CLOSE) {
        Control* mainForm = MainForm();
        if (!mainForm || mainForm == control || !mainForm->Window)
            return false;
        PostMessageA(mainForm->Window, WM_CLOSE, 0, 0);
        *result = 0;
        return true;
    }
    return false;
}

void SetUpAppletSystemMenu(Control* control)
{
    HMENU menu = GetSystemMenu(control->Window, FALSE);
    if (!menu)
        return;
    EnableMenuItem(menu, SC_RESTORE, MF_BYCOMMAND | MF_GRAYED);
    DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_MOVE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
}
