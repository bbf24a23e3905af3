// Control: the layer's window object. One record serves the applet (a
// top-level window standing for the application, never shown here), forms
// and child controls such as push buttons. Every property works before the
// platform window exists; once it does, setters keep window and fields in step.
#pragma once

#include <windows.h>

#include <cstdint>

#include "winlayer/base/byte_string.h"
#include "winlayer/base/obj.h"
#include "winlayer/base/obj_list.h"

class Canvas;
class Control;
class GraphicTool;

// True when the handler dealt with the message; *result is then its answer.
// A handler may rewrite the message for the steps that follow it.
using MessageHandler = bool (*)(Control* control, MSG* message, LRESULT* result);
// Offered every message DrainMessageQueue takes; true keeps it from dispatch.
using QueueHook = bool (*)(Control* control, MSG* message);
using ControlRoutine = void (*)(Control* control);

// The routine every hook starts with.
bool NotHandled(Control* control, MSG* message, LRESULT* result);

class Control : public Obj {
public:
    // Slot 0: the defaults every control starts from.
    void Init() override;
    // Slot 1: children and owned objects first, then tools, window and lists.
    void Destroy() override;
    // Slot 2: on a control Create<Control>() has just initialised, takes the
    // parent's colours and font, then lists it as the parent's child and
    // makes the parent its owner. A null parent leaves a top-level control.
    virtual void InitWithParent(Control* parent);
    // Slot 3: creates the platform window (and the parent's first); on an
    // existing window it creates the children's windows instead.
    virtual bool MakeWindow();
    // Slot 4: filter, handlers, class handler, built-in, default, post hook.
    virtual LRESULT ProcessMessage(MSG& message);

    // Geometry. Child controls: parent client coordinates; top-level windows:
    // screen coordinates. Reads refresh from the window when it exists.
    RECT Bounds();
    void SetBounds(const RECT& r);
    int32_t Width();
    int32_t Height();
    void SetLeft(int32_t value);
    void SetTop(int32_t value);
    void SetWidth(int32_t value);
    void SetHeight(int32_t value);
    void PlaceAt(int32_t x, int32_t y);
    // Creates the window (EnsureWindow) and takes the client margins off.
    RECT ClientRect();
    int32_t ClientWidth();
    int32_t ClientHeight();
    // Sizes the window so that its client area gets w by h; a value <= 0
    // leaves that dimension alone.
    void ResizeClientArea(int32_t w, int32_t h);

    void SetStyle(uint32_t value);
    void SetExStyle(uint32_t value);
    bool Framed();
    void SetFramed(bool value);
    void SetEnabled(bool value);
    void SetVisible(bool value);
    // Windows without WS_CHILD: popups and overlapped windows.
    bool IsTopLevel() const { return (Style & WS_CHILD) == 0; }

    void SetClickEvent(Event<void(Control*)> event);
    void SetPaintEvent(Event<void(Control*, HDC)> event);
    // Made on first request and kept until the control goes. Outside painting
    // it draws into a GetDC context of the window; while PaintEvent runs, into
    // the paint context.
    ::Canvas* Canvas();

    HWND Window = nullptr;
    uint32_t ClassStyle = 0;
    uint32_t Style = 0;
    uint32_t ExStyle = 0;
    HICON Icon = nullptr;
    bool OwnsIcon = false;  // made by CopyImage: destroyed with the window
    // The system class's procedure for controls that extend one; null for
    // the layer's own classes.
    WNDPROC DefaultProc = nullptr;
    Control* Parent = nullptr;
    bool Enabled = false;
    bool Visible = false;
    bool TabStop = false;
    // Pairs (handler, keep-after-quit flag), newest last.
    ObjList* HandlerChain = nullptr;
    ObjList* Children = nullptr;
    QueueHook MessageHook = nullptr;
    bool DestroyStarted = false;
    bool WindowDestroyed = false;
    // WindowProc calls for this control in progress.
    int32_t Nesting = 0;
    int32_t ControlId = 0;
    bool IsApplet = false;
    bool IsForm = false;
    bool IsChildControl = false;
    bool IsButton = false;
    // Set only while the paint handler runs.
    HRGN UpdateRegion = nullptr;
    HDC PaintDC = nullptr;
    MessageHandler PostProcessHook = NotHandled;
    MessageHandler ChainDispatcher = NotHandled;
    MessageHandler KeyboardHook = NotHandled;
    MessageHandler ClickPreHook = NotHandled;
    MessageHandler ClassHandler = NotHandled;
    // "BUTTON" for a control extending that system class; else the layer's
    // own name without its "obj_" prefix.
    const char* ControlClassName = "";
    uint32_t TextColor = 0;
    uint32_t BackgroundColor = 0;
    GraphicTool* FontTool = nullptr;   // owned; none unless a caller sets one
    GraphicTool* BrushTool = nullptr;  // owned; made once brush tools exist
    ::Canvas* ControlCanvas = nullptr;  // owned
    // The brush of the plain background rule and the RGB it was made from.
    HBRUSH CachedBrush = nullptr;
    COLORREF CachedBrushRgb = 0;
    int32_t Margin = 0;
    RECT BoundsRect{0, 0, 0, 0};
    int32_t ClientMarginTop = 0;
    int32_t ClientMarginBottom = 0;
    int32_t ClientMarginLeft = 0;
    int32_t ClientMarginRight = 0;
    // A top-level window whose position never changed gets the platform's
    // default position.
    bool LeftChanged = false;
    bool TopChanged = false;
    Event<bool(Control*, MSG*, LRESULT*)> MessageFilter;
    Event<void(Control*)> ClickEvent;
    Event<void(Control*, HDC)> PaintEvent;
    bool RightButton = false;  // the latest click was a right-button one
    // A form's current child control; the library-wide applet's current form.
    Control* CurrentChild = nullptr;
    int32_t FocusInProgress = 0;
    bool VisibilitySet = false;
    bool ShowAfterCreation = false;
    ByteString Caption;
    ControlRoutine AfterCreationHook = nullptr;
    // Notification codes of a common control: click, focus gained, lost.
    uint16_t ClickCode = 0;
    uint16_t FocusGainCode = 0;
    uint16_t FocusLossCode = 0;
    bool ThreeD = true;  // a child control's frame is a sunken client edge
    bool Transparent = false;
    WPARAM SizeType = 0;  // wParam of the latest WM_SIZE

protected:
    ~Control() override = default;

private:
    void DetachFromParent();
    void DestroyOwnWindow();
    void OrphanSurvivingChildren();
};

// Window-less controls; a parent owns and lists its children and passes on
// its colours. The applet also makes forms of the library-wide applet count
// as main forms.
Control* CreateApplet(const char* caption);
Control* CreateForm(Control* parent, const char* caption);
Control* CreateButton(Control* parent, const char* caption);

// The brush that paints the control's background: shared with ancestors of
// the same colour, remade when the colour's RGB moves. Owned by the layer.
HBRUSH GetControlBrushHandle(Control* control);
