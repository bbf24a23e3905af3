#include "winlayer/gdi/canvas.h"

#include <cstring>

#include "winlayer/gdi/gdi_count.h"

namespace {

bool brushToolCreated = false;

// Put back into a device context before its tools may go. Fetched once and
// kept for the life of the library; stock objects are never deleted.
struct StockObjects {
    HGDIOBJ Font;
    HGDIOBJ Brush;
    HGDIOBJ Pen;
};

const StockObjects& Stock()
{
    static const StockObjects stock{GetStockObject(SYSTEM_FONT), GetStockObject(NULL_BRUSH),
                                    GetStockObject(BLACK_PEN)};
    return stock;
}

void DeletePattern(ToolDescription& description)
{
    GdiDeleteObject(description.Pattern);
    description.Pattern = nullptr;
}

// A tool changed: it must leave the device context before its platform
// object is deleted, and the owner of the canvas hears of it.
void CanvasToolChanged(void* context, GraphicTool*)
{
    Canvas* canvas = static_cast<Canvas*>(context);
    canvas->DeselectTools();
    if (canvas->OnChange)
        canvas->OnChange(canvas);
}

}  // namespace

COLORREF ColorToRgb(uint32_t color)
{
    if (color & kSystemColorFlag)
        return GetSysColor(static_cast<int>(color & ~kSystemColorFlag));
    return color;
}

GraphicTool* GraphicTool::NewTool() const
{
    // Brushes are the only kind this system makes.
    return NewBrush();
}

void GraphicTool::MakeHandle()
{
    LOGBRUSH brush{};
    if (Description.Pattern) {
        brush.lbStyle = BS_PATTERN;
        brush.lbHatch = reinterpret_cast<ULONG_PTR>(Description.Pattern);
    } else if (Description.Style <= static_cast<uint8_t>(BrushStyle::Clear)) {
        brush.lbStyle = Description.Style;
        brush.lbColor = ColorToRgb(Description.Color);
    } else {
        brush.lbStyle = BS_HATCHED;
        brush.lbHatch = Description.Style - static_cast<uint8_t>(BrushStyle::FirstHatch);
        brush.lbColor = ColorToRgb(Description.HatchColor);
    }
    Handle = GdiCreateBrushIndirect(&brush);
}

HGDIOBJ GraphicTool::GetHandle()
{
    if (Handle && ColorToRgb(Description.Color) != MadeFromRgb)
        DropHandle();
    if (Handle)
        return Handle;
    if (ParentTool && ParentTool != this && SameDescription(*ParentTool))
        return ParentTool->GetHandle();
    MadeFromRgb = ColorToRgb(Description.Color);
    MakeHandle();
    return Handle;
}

void GraphicTool::SetColor(uint32_t color)
{
    if (Description.Color == color)
        return;
    Description.Color = color;
    DropHandle();
}

void GraphicTool::DropHandle()
{
    // Announce first: whoever has the object selected puts it out before it is deleted.
    if (OnChange)
        OnChange(this);
    GdiDeleteObject(Handle);
    Handle = nullptr;
}

bool GraphicTool::SameDescription(const GraphicTool& other) const
{
    return std::memcmp(&Description, &other.Description, sizeof Description) == 0;
}

GraphicTool* GraphicTool::Assign(GraphicTool* target, const GraphicTool* source)
{
    if (!source) {
        Release(target);
        return nullptr;
    }
    if (!target)
        target = source->NewTool();
    if (target == source || (target->Handle && target->Handle == source->Handle))
        return target;
    target->DropHandle();
    DeletePattern(target->Description);
    target->Description = source->Description;
    // Each tool deletes its own pattern, so the copy gets a bitmap of its own.
    target->Description.Pattern = GdiCopyBitmap(source->Description.Pattern);
    if (target->OnChange)
        target->OnChange(target);
    return target;
}

void GraphicTool::Destroy()
{
    OnChange = {};
    GdiDeleteObject(Handle);
    Handle = nullptr;
    DeletePattern(Description);
    Obj::Destroy();
}

GraphicTool* NewBrush()
{
    brushToolCreated = true;
    GraphicTool* brush = Create<GraphicTool>();
    if (!brush)
        return nullptr;
    brush->Kind = ToolKind::Brush;
    brush->Description.Color = kButtonFaceColor;
    brush->Description.Style = static_cast<uint8_t>(BrushStyle::Solid);
    return brush;
}

bool BrushToolCreated() { return brushToolCreated; }

HDC Canvas::GetHandle()
{
    if (!OnGetHandle)
        return Handle;
    HDC dc = OnGetHandle(this);
    SetHandle(dc);
    return dc;
}

void Canvas::SetHandle(HDC dc)
{
    if (dc == Handle)
        return;
    if (Handle) {
        DeselectTools();
        // A paint device context belongs to the paint cycle that lent it.
        if (!IsPaintDC) {
            if (OnReleaseHandle)
                OnReleaseHandle(this, Handle);
            else
                GdiDeleteDC(Handle);
        }
        Handle = nullptr;
        IsPaintDC = false;
        State &= static_cast<uint8_t>(~kCanvasHandleValid);
    }
    if (dc) {
        State |= kCanvasHandleValid;
        Handle = dc;
        MoveToEx(dc, PenPos.x, PenPos.y, nullptr);
    }
}

GraphicTool* Canvas::Brush()
{
    if (BrushTool)
        return BrushTool;
    BrushTool = NewBrush();
    if (!BrushTool)
        return nullptr;
    BrushTool->OnChange = {&CanvasToolChanged, this};
    if (OnNewBrush)
        OnNewBrush(this, BrushTool);
    return BrushTool;
}

void Canvas::SelectBrush()
{
    HDC dc = GetHandle();
    if (!dc)
        return;
    GraphicTool* brush = Brush();
    if (brush)
        SelectObject(dc, brush->GetHandle());
    State |= kCanvasBrushSelected;
}

void Canvas::DeselectTools()
{
    if (!Handle || !(State & kCanvasToolsSelected))
        return;
    const StockObjects& stock = Stock();
    SelectObject(Handle, stock.Font);
    SelectObject(Handle, stock.Brush);
    SelectObject(Handle, stock.Pen);
    State &= static_cast<uint8_t>(~kCanvasToolsSelected);
}

void Canvas::Destroy()
{
    SetHandle(nullptr);
    Release(PenTool);
    Release(BrushTool);
    Release(FontTool);
    PenTool = BrushTool = FontTool = nullptr;
    Obj::Destroy();
}

Canvas* NewCanvas(HDC dc)
{
    Canvas* canvas = Create<Canvas>();
    if (!canvas)
        return nullptr;
    canvas->CopyMode = SRCCOPY;
    if (dc)
        canvas->SetHandle(dc);
    return canvas;
}
