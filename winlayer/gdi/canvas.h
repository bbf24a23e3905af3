// A Canvas wraps one device context: where it comes from, how it is given
// back, and the drawing tools that belong to it. A bitmap's canvas owns a
// memory device context; a control's canvas borrows one from its control
// through OnGetHandle and gives it back through OnReleaseHandle.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>

#include "winlayer/base/obj.h"

class Control;

// A colour value with bit 31 set names a system colour (the low bits are the
// index): the current RGB of that colour; any other value unchanged.
COLORREF ColorToRgb(uint32_t color);

constexpr uint32_t kSystemColorFlag = 0x80000000u;
constexpr uint32_t kButtonFaceColor = kSystemColorFlag | COLOR_BTNFACE;

enum class ToolKind : uint8_t { Brush = 0 };

enum class BrushStyle : uint8_t { Solid = 0, Clear = 1, FirstHatch = 2 };

// Two tools are equal when these 64 bytes are equal, so every byte is set.
struct ToolDescription {
    uint32_t Color = 0;          // colour value, may name a system colour
    HBITMAP Pattern = nullptr;   // a brush's pattern bitmap, owned by the tool
    uint8_t Style = 0;           // BrushStyle; from FirstHatch on, hatch index + 2
    std::array<uint8_t, 3> Reserved{};
    uint32_t HatchColor = 0;
    std::array<uint8_t, 64 - 16> Spare{};
};
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(ToolDescription) == 64, "a tool is described by 64 bytes");
#endif

// One pen, brush or font and the platform object made from it. Only brushes
// exist in this system.
class GraphicTool : public Obj {
public:
    ToolKind Kind = ToolKind::Brush;
    HGDIOBJ Handle = nullptr;
    // Equal description: the parent's platform object is shared, none is made.
    GraphicTool* ParentTool = nullptr;
    COLORREF MadeFromRgb = 0;
    Event<void(GraphicTool*)> OnChange;
    ToolDescription Description;

    // Appended slots: a new tool of the same kind; the platform object from
    // the description.
    virtual GraphicTool* NewTool() const;
    virtual void MakeHandle();

    // Made again when the RGB of Color has moved since (a system colour changed).
    HGDIOBJ GetHandle();
    // Changes the colour value, dropping the handle and announcing the change.
    void SetColor(uint32_t color);
    // Deletes the platform object (unless it is the parent's) and announces it.
    void DropHandle();
    bool SameDescription(const GraphicTool& other) const;

    // Copies source's description into target and yields target; with no
    // target, one of source's kind is made; with no source, target is
    // released and none is yielded.
    static GraphicTool* Assign(GraphicTool* target, const GraphicTool* source);

    void Destroy() override;

protected:
    ~GraphicTool() override = default;
};

// A solid brush of the button-face colour, no handle yet. The first call
// anywhere switches the control background rule (BrushToolCreated).
GraphicTool* NewBrush();
// True from the first NewBrush of the process on; never reset.
bool BrushToolCreated();

// Canvas State bits.
constexpr uint8_t kCanvasHandleValid = 1;
constexpr uint8_t kCanvasPenSelected = 2;
constexpr uint8_t kCanvasBrushSelected = 4;
constexpr uint8_t kCanvasFontSelected = 8;
constexpr uint8_t kCanvasToolsSelected = kCanvasPenSelected | kCanvasBrushSelected | kCanvasFontSelected;

class Canvas : public Obj {
public:
    Control* OwnerControl = nullptr;  // not owned; none for a bitmap canvas
    HDC Handle = nullptr;
    POINT PenPos{0, 0};               // given to every new device context
    uint8_t State = 0;
    // The Brush, Pen and Font tools, owned; Brush() makes the brush.
    GraphicTool* BrushTool = nullptr;
    GraphicTool* PenTool = nullptr;
    GraphicTool* FontTool = nullptr;
    DWORD CopyMode = SRCCOPY;
    Event<void(Canvas*)> OnChange;
    // A control canvas's device-context provider; unassigned for a bitmap canvas.
    Event<HDC(Canvas*)> OnGetHandle;
    // Gives back a device context being replaced (a control: ReleaseDC on its
    // window). Unassigned: the context is the canvas's own and is deleted.
    // Never called for a paint device context (IsPaintDC).
    Event<void(Canvas*, HDC)> OnReleaseHandle;
    bool IsPaintDC = false;  // Handle is the owner control's paint DC: never released here
    // Called once when Brush() makes the brush tool, so that an owner control
    // can give it its background colour and brush (Assign).
    Event<void(Canvas*, GraphicTool*)> OnNewBrush;

    // Asks OnGetHandle when assigned (and keeps its answer), else Handle.
    HDC GetHandle();
    // Replaces the device context, giving back the old one as above.
    void SetHandle(HDC dc);
    GraphicTool* Brush();
    // Selects the brush into Handle for a fill and records it in State, so
    // that the brush is taken out again before it or the context goes.
    void SelectBrush();
    // Puts the stock font, null brush and black pen back into Handle.
    void DeselectTools();

    void Destroy() override;

protected:
    ~Canvas() override = default;
};

Canvas* NewCanvas(HDC dc);
