// Geometry, styles, the framed look, enabled and visible state, and the
// event setters of a Control. Each setter keeps the field and, once the
// window exists, the window in step.
#include "winlayer/window/control.h"
#include "winlayer/window/dispatch.h"
#include "winlayer/window/layer_internal.h"

namespace {

constexpr uint32_t kFramedStyleMask = WS_CAPTION | WS_THICKFRAME;
constexpr uint32_t kNoFrameStyles = ~kFrameStyles;
constexpr uint32_t kNoEdgeExStyles =
    ~static_cast<uint32_t>(WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE | WS_EX_CONTROLPARENT);
constexpr UINT kRefreshFrame = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED;

void ApplyStyle(HWND window, int index, uint32_t value)
{
    if (!window)
        return;
    SetWindowLongA(window, index, static_cast<LONG>(value));
    SetWindowPos(window, nullptr, 0, 0, 0, 0, kRefreshFrame);
    InvalidateRect(window, nullptr, TRUE);
}

}  // namespace

RECT Control::Bounds()
{
    RECT r;
    if (!Window || !GetWindowRect(Window, &r))
        return BoundsRect;
    // A child window is placed in its parent's client area: the window the
    // platform actually has as parent, which re-parenting may have changed.
    if (GetWindowLongA(Window, GWL_STYLE) & WS_CHILD) {
        POINT origin{0, 0};
        ClientToScreen(GetParent(Window), &origin);
        OffsetRect(&r, -origin.x, -origin.y);
    }
    BoundsRect = r;
    return BoundsRect;
}

void Control::SetBounds(const RECT& r)
{
    RECT current = Bounds();
    if (EqualRect(&r, &current))
        return;
    if (r.left != current.left)
        LeftChanged = true;
    if (r.top != current.top)
        TopChanged = true;
    BoundsRect = r;
    if (Window)
        SetWindowPos(Window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

int32_t Control::Width()
{
    RECT r = Bounds();
    return r.right - r.left;
}

int32_t Control::Height()
{
    RECT r = Bounds();
    return r.bottom - r.top;
}

void Control::SetLeft(int32_t value)
{
    RECT r = Bounds();
    SetBounds({value, r.top, value + (r.right - r.left), r.bottom});
}

void Control::SetTop(int32_t value)
{
    RECT r = Bounds();
    SetBounds({r.left, value, r.right, value + (r.bottom - r.top)});
}

void Control::SetWidth(int32_t value)
{
    RECT r = Bounds();
    SetBounds({r.left, r.top, r.left + value, r.bottom});
}

void Control::SetHeight(int32_t value)
{
    RECT r = Bounds();
    SetBounds({r.left, r.top, r.right, r.top + value});
}

void Control::PlaceAt(int32_t x, int32_t y)
{
    SetLeft(x);
    SetTop(y);
}

RECT Control::ClientRect()
{
    EnsureWindow(this);
    RECT r;
    if (!Window || !GetClientRect(Window, &r))
        r = BoundsRect;
    r.top += ClientMarginTop;
    r.bottom -= ClientMarginBottom;
    r.left += ClientMarginLeft;
    r.right -= ClientMarginRight;
    return r;
}

int32_t Control::ClientWidth()
{
    RECT r = ClientRect();
    return r.right - r.left;
}

int32_t Control::ClientHeight()
{
    RECT r = ClientRect();
    return r.bottom - r.top;
}

void Control::ResizeClientArea(int32_t w, int32_t h)
{
    // The client size first: reading it makes the window, and the outer size
    // must then come from that window, not from the stored bounds.
    if (w > 0) {
        int32_t client = ClientWidth();
        SetWidth(w + Width() - client);
    }
    if (h > 0) {
        int32_t client = ClientHeight();
        SetHeight(h + Height() - client);
    }
}

void Control::SetStyle(uint32_t value)
{
    if (value == Style)
        return;
    Style = value;
    Enabled = (value & WS_DISABLED) == 0;
    ApplyStyle(Window, GWL_STYLE, value);
}

void Control::SetExStyle(uint32_t value)
{
    if (value == ExStyle)
        return;
    ExStyle = value;
    ApplyStyle(Window, GWL_EXSTYLE, value);
}

bool Control::Framed()
{
    if (Window) {
        Style = static_cast<uint32_t>(GetWindowLongA(Window, GWL_STYLE));
        ExStyle = static_cast<uint32_t>(GetWindowLongA(Window, GWL_EXSTYLE));
        ClassStyle = static_cast<uint32_t>(GetClassLongA(Window, GCL_STYLE));
    }
    return (Style & kFramedStyleMask) != 0 || (ExStyle & WS_EX_CLIENTEDGE) != 0;
}

void Control::SetFramed(bool value)
{
    if (value == Framed())
        return;
    if (value && IsTopLevel())
        SetStyle(Style | kFrameStyles);
    else if (value && ThreeD)
        SetExStyle(ExStyle | WS_EX_CLIENTEDGE);
    else if (value)
        SetStyle(Style | WS_BORDER);
    if (!value) {
        SetStyle((Style & kNoFrameStyles) | (IsTopLevel() ? WS_POPUP : 0u));
        SetExStyle(ExStyle & kNoEdgeExStyles);
    }
    // WS_TABSTOP shares its bit with WS_MAXIMIZEBOX: only child windows have one.
    if (!IsTopLevel())
        SetStyle(TabStop ? Style | WS_TABSTOP : Style & ~static_cast<uint32_t>(WS_TABSTOP));
}

void Control::SetEnabled(bool value)
{
    bool current = Window ? IsWindowEnabled(Window) != FALSE : (Style & WS_DISABLED) == 0;
    if (current == value)
        return;
    Enabled = value;
    if (value)
        Style &= ~static_cast<uint32_t>(WS_DISABLED);
    else
        Style |= WS_DISABLED;
    if (Window) {
        EnableWindow(Window, value);
        InvalidateRect(Window, nullptr, TRUE);
    }
}

void Control::SetVisible(bool value)
{
    VisibilitySet = true;
    Style &= ~static_cast<uint32_t>(WS_VISIBLE);
    if (value)
        Style |= WS_VISIBLE;
    Visible = value;
    if (!Window)
        return;
    if (value) {
        ShowWindow(Window, SW_SHOW);
    } else {
        ShowAfterCreation = false;
        ShowWindow(Window, SW_HIDE);
    }
}

void Control::SetClickEvent(Event<void(Control*)> event)
{
    ClickEvent = event;
    // A button's clicks arrive as reflected commands (CommandHandler).
    if (!IsButton)
        AttachHandler(this, ClickHandler);
}

void Control::SetPaintEvent(Event<void(Control*, HDC)> event)
{
    PaintEvent = event;
    AttachHandler(this, PaintHandler);
}
