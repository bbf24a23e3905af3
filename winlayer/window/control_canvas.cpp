// The control side of drawing: a control's canvas borrows its device
// context from the control, and control backgrounds share brushes.
#include "winlayer/gdi/canvas.h"
#include "winlayer/window/control.h"
#include "winlayer/window/dispatch.h"
#include "winlayer/gdi/gdi_count.h"

namespace {

// The canvas's OnGetHandle: the paint context while the control paints,
// else the window context the canvas already holds, else a fresh GetDC.
HDC ProvideControlDC(void* context, Canvas* canvas)
{
    auto* control = static_cast<Control*>(context);
    if (control->PaintDC) {
        canvas->SetHandle(control->PaintDC);
        canvas->IsPaintDC = true;
        return control->PaintDC;
    }
    if (canvas->Handle)
        return canvas->Handle;
    HWND window = EnsureWindow(control);
    return window ? GdiGetDC(window) : nullptr;
}

// The canvas's OnReleaseHandle: a paint context belongs to BeginPaint or to
// whoever passed it in wParam, so only a GetDC context is given back.
void ReleaseControlDC(void* context, Canvas*, HDC dc)
{
    auto* control = static_cast<Control*>(context);
    if (dc != control->PaintDC)
        GdiReleaseDC(control->Window, dc);
}

// The canvas's OnNewBrush: a control canvas paints in the control's colours.
void GiveCanvasBrushControlColors(void* context, Canvas*, GraphicTool* brush)
{
    auto* control = static_cast<Control*>(context);
    brush->SetColor(control->BackgroundColor);
    if (control->BrushTool)
        GraphicTool::Assign(brush, control->BrushTool);
}

void BrushToolChanged(void* context, GraphicTool* tool)
{
    auto* control = static_cast<Control*>(context);
    control->BackgroundColor = tool->Description.Color;
    if (control->Window)
        InvalidateRect(control->Window, nullptr, TRUE);
}

// The control's own brush tool, made on demand; the parent's tool becomes
// its ParentTool, so equal colours share one platform brush.
GraphicTool* ControlBrushTool(Control* control)
{
    if (!control->BrushTool) {
        GraphicTool* tool = NewBrush();
        if (!tool)
            return nullptr;
        tool->Description.Color = control->BackgroundColor;
        tool->OnChange.Code = BrushToolChanged;
        tool->OnChange.Context = control;
        control->BrushTool = tool;
    }
    if (control->Parent && !control->BrushTool->ParentTool)
        control->BrushTool->ParentTool = ControlBrushTool(control->Parent);
    return control->BrushTool;
}

HBRUSH PlainControlBrush(Control* control)
{
    while (control->Parent && control->Parent->BackgroundColor == control->BackgroundColor)
        control = control->Parent;
    COLORREF rgb = ColorToRgb(control->BackgroundColor);
    if (control->CachedBrush && control->CachedBrushRgb != rgb) {
        GdiDeleteObject(control->CachedBrush);
        control->CachedBrush = nullptr;
    }
    if (!control->CachedBrush) {
        control->CachedBrush = GdiCreateSolidBrush(rgb);
        control->CachedBrushRgb = rgb;
    }
    return control->CachedBrush;
}

}  // namespace

Canvas* Control::Canvas()
{
    if (ControlCanvas)
        return ControlCanvas;
    ::Canvas* canvas = NewCanvas(nullptr);
    if (!canvas)
        return nullptr;
    canvas->OwnerControl = this;
    canvas->OnGetHandle.Code = ProvideControlDC;
    canvas->OnGetHandle.Context = this;
    canvas->OnReleaseHandle.Code = ReleaseControlDC;
    canvas->OnReleaseHandle.Context = this;
    canvas->OnNewBrush.Code = GiveCanvasBrushControlColors;
    canvas->OnNewBrush.Context = this;
    if (FontTool)
        canvas->FontTool = GraphicTool::Assign(nullptr, FontTool);
    ControlCanvas = canvas;
    return canvas;
}

// Two rules, as the library switches once brush tools exist: before, a
// cached solid brush on the outermost ancestor of the same colour; after,
// the control's brush tool sharing its parent's platform brush.
HBRUSH GetControlBrushHandle(Control* control)
{
    if (!control)
        return nullptr;
    if (BrushToolCreated()) {
        GraphicTool* tool = ControlBrushTool(control);
        return tool ? static_cast<HBRUSH>(tool->GetHandle()) : nullptr;
    }
    return PlainControlBrush(control);
}
