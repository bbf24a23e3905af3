#include "winlayer/window/control.h"

#include "winlayer/gdi/canvas.h"
#include "winlayer/window/dispatch.h"
#include "winlayer/gdi/gdi_count.h"
#include "winlayer/window/layer_internal.h"

namespace {

constexpr uint32_t kDefaultStyle = WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_OVERLAPPEDWINDOW;
constexpr uint32_t kAppletStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr uint32_t kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_NOTIFY | BS_PUSHLIKE;
constexpr int32_t kDefaultControlSize = 64;
constexpr int32_t kButtonHeight = 22;

Control* CreateCommonControl(Control* parent, const char* className, uint32_t style, const char* caption)
{
    Control* control = Create<Control>();
    if (!control)
        return nullptr;
    control->InitWithParent(parent);
    control->ControlClassName = className;
    control->Style = style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    if (control->ThreeD) {
        control->Style &= ~static_cast<uint32_t>(WS_BORDER);
        control->ExStyle |= WS_EX_CLIENTEDGE;
    }
    control->Visible = (style & WS_VISIBLE) != 0;
    control->IsChildControl = true;
    control->TabStop = (style & WS_TABSTOP) != 0;
    control->ControlId = NextControlId();
    control->ClickCode = BN_CLICKED;
    control->FocusGainCode = BN_SETFOCUS;
    control->FocusLossCode = BN_KILLFOCUS;
    AttachHandler(control, CommandHandler);
    int32_t left = parent ? parent->Margin + parent->ClientMarginLeft : 0;
    int32_t top = parent ? parent->Margin + parent->ClientMarginTop : 0;
    control->BoundsRect = {left, top, left + kDefaultControlSize, top + kDefaultControlSize};
    if (caption)
        control->Caption = caption;
    return control;
}

}  // namespace

bool NotHandled(Control*, MSG*, LRESULT*) { return false; }

void Control::Init()
{
    ClassStyle = CS_OWNDC;
    Style = kDefaultStyle;
    ExStyle = WS_EX_CONTROLPARENT;
    Enabled = true;
    Visible = true;
    BackgroundColor = kButtonFaceColor;
    TextColor = kSystemColorFlag | COLOR_WINDOWTEXT;
    Margin = 2;
    HandlerChain = CreateList();
    Children = CreateList();
}

void Control::InitWithParent(Control* parent)
{
    if (!parent)
        return;
    BackgroundColor = parent->BackgroundColor;
    TextColor = parent->TextColor;
    if (parent->FontTool)
        FontTool = GraphicTool::Assign(nullptr, parent->FontTool);
    Parent = parent;
    parent->Children->Add(this);
    AddOwned(parent, this);
}

void Control::Destroy()
{
    if (DestroyStarted)
        return;
    DestroyStarted = true;
    if (Parent && Parent->CurrentChild == this)
        Parent->CurrentChild = nullptr;
    // The applet remembers the form that last had the focus; it must not
    // keep pointing at a control that is gone.
    if (LibraryApplet && LibraryApplet->CurrentChild == this)
        LibraryApplet->CurrentChild = nullptr;
    if (Window && !WindowDestroyed)
        ShowWindow(Window, SW_HIDE);
    RunFinalSteps();
    OrphanSurvivingChildren();
    Release(ControlCanvas);
    ControlCanvas = nullptr;
    // The tool announces its own teardown; nothing must repaint for it now.
    if (BrushTool)
        BrushTool->OnChange = {};
    Release(BrushTool);
    Release(FontTool);
    BrushTool = FontTool = nullptr;
    if (CachedBrush)
        GdiDeleteObject(CachedBrush);
    CachedBrush = nullptr;
    DestroyOwnWindow();
    if (UpdateRegion)
        GdiDeleteObject(UpdateRegion);
    UpdateRegion = nullptr;
    DetachFromParent();
    Release(HandlerChain);
    HandlerChain = nullptr;
    Release(Children);
    Children = nullptr;
    Caption.clear();
    Obj::Destroy();
}

void Control::DestroyOwnWindow()
{
    if (!Window)
        return;
    if (OwnsIcon && Icon)
        DestroyIcon(Icon);
    Icon = nullptr;
    // A handle may have been reused by another window since; only ours is
    // unbound and destroyed.
    if (IsWindow(Window) && BoundControl(Window) == this) {
        SetWindowLongPtrA(Window, GWLP_USERDATA, 0);
        // Released from inside the window's own destruction: destroying it
        // again would send WM_DESTROY a second time.
        if (!WindowDestroyed)
            DestroyWindow(Window);
    }
    Window = nullptr;
}

void Control::DetachFromParent()
{
    if (!Parent)
        return;
    if (Parent->CurrentChild == this)
        Parent->CurrentChild = nullptr;
    Parent->Children->Remove(this);
    RemoveOwned(Parent, this);
    Parent = nullptr;
}

void Control::OrphanSurvivingChildren()
{
    // Children still listed here were kept alive by their own message
    // processing (a deferred release); they must not reach back to a parent
    // that no longer exists when they go.
    for (int32_t i = 0; i < Children->Count; ++i) {
        auto* child = static_cast<Control*>(Children->Item(i));
        child->Parent = nullptr;
        if (child->BrushTool && child->BrushTool->ParentTool == BrushTool)
            child->BrushTool->ParentTool = nullptr;
    }
}

Control* CreateApplet(const char* caption)
{
    Control* applet = Create<Control>();
    if (!applet)
        return nullptr;
    applet->ControlClassName = "App";
    applet->IsApplet = true;
    applet->Style = kAppletStyle;
    applet->ExStyle = WS_EX_APPWINDOW;
    applet->AfterCreationHook = SetUpAppletSystemMenu;
    AttachHandler(applet, AppletHandler);
    if (caption)
        applet->Caption = caption;
    SetMainFormIsFirstChild();
    return applet;
}

Control* CreateForm(Control* parent, const char* caption)
{
    Control* form = Create<Control>();
    if (!form)
        return nullptr;
    form->InitWithParent(parent);
    form->ControlClassName = "Form";
    form->ClassStyle |= CS_DBLCLKS;
    form->IsForm = true;
    AttachHandler(form, FocusHandler);
    AttachHandler(form, EraseBackgroundHandler);
    if (caption)
        form->Caption = caption;
    return form;
}

Control* CreateButton(Control* parent, const char* caption)
{
    Control* button = CreateCommonControl(parent, "BUTTON", kButtonStyle, caption);
    if (!button)
        return nullptr;
    button->IsButton = true;
    button->BoundsRect.bottom = button->BoundsRect.top + kButtonHeight;
    AttachHandler(button, ButtonDoubleClickHandler);
    return button;
}
