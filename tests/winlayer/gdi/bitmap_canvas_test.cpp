// Bitmaps, their canvases and brush tools on real GDI under wine: selection
// invariant, resize with fill, and who gives back which device context.
#include <gtest/gtest.h>

#include "tests/win32/pixels.h"
#include "winlayer/gdi/bitmap.h"
#include "winlayer/gdi/canvas.h"
#include "winlayer/gdi/gdi_count.h"

namespace {

constexpr uint32_t kFill = 0x005A1EC8;  // COLORREF: red 0xC8, green 0x1E, blue 0x5A

uint32_t FromColorRef(COLORREF c) { return Rgb32(GetRValue(c), GetGValue(c), GetBValue(c)); }

// A bitmap of width x height holding the pattern.
Bitmap* PatternBitmap(int32_t width, int32_t height)
{
    Bitmap* bitmap = NewBitmap(width, height);
    PaintPattern(bitmap->GetCanvas()->Handle, width, height);
    return bitmap;
}

Picture32 ContentsOf(Bitmap* bitmap) { return ReadBack(bitmap->GetCanvas()->Handle, 0, 0, bitmap->Width, bitmap->Height); }

TEST(BitmapEmpty, ZeroWidthHasNoHandleAndNoCanvas)
{
    const int32_t before = GdiLiveCount();
    Bitmap* bitmap = NewBitmap(0, 10);
    EXPECT_TRUE(bitmap->Empty());
    EXPECT_EQ(bitmap->Handle, nullptr);
    EXPECT_EQ(bitmap->GetHandle(), nullptr);
    EXPECT_EQ(bitmap->GetCanvas(), nullptr);
    EXPECT_EQ(GdiLiveCount(), before);
    Release(bitmap);
}

TEST(BitmapSelection, TwoGetCanvasInARowSelectTheHandleOnce)
{
    Bitmap* bitmap = NewBitmap(10, 10);
    Canvas* first = bitmap->GetCanvas();
    ASSERT_NE(first, nullptr);
    Canvas* second = bitmap->GetCanvas();
    EXPECT_EQ(first, second);
    EXPECT_EQ(GetCurrentObject(first->Handle, OBJ_BITMAP), bitmap->Handle);
    // Selected twice, the saved object would be the bitmap itself.
    EXPECT_NE(bitmap->CanvasSelection, nullptr);
    EXPECT_NE(bitmap->CanvasSelection, bitmap->Handle);
    HBITMAP free = bitmap->GetHandle();
    EXPECT_NE(GetCurrentObject(first->Handle, OBJ_BITMAP), free);
    EXPECT_EQ(bitmap->CanvasSelection, nullptr);
    bitmap->GetCanvas();
    EXPECT_EQ(GetCurrentObject(first->Handle, OBJ_BITMAP), bitmap->Handle);
    Release(bitmap);
}

TEST(BitmapSelection, CanvasBrushTakesBkColorAndBkColorFollowsTheBrush)
{
    Bitmap* bitmap = NewBitmap(4, 4);
    bitmap->BkColor = kFill;
    Canvas* canvas = bitmap->GetCanvas();
    EXPECT_EQ(canvas->Brush()->Description.Color, kFill);
    canvas->Brush()->SetColor(0x00112233);
    EXPECT_EQ(bitmap->BkColor, 0x00112233u);
    Release(bitmap);
}

TEST(BitmapResize, SameSizeCreatesNothing)
{
    Bitmap* bitmap = NewBitmap(10, 10);
    HBITMAP handle = bitmap->Handle;
    const int32_t before = GdiLiveCount();
    bitmap->SetWidth(10);
    bitmap->SetHeight(10);
    EXPECT_EQ(bitmap->Handle, handle);
    EXPECT_EQ(GdiLiveCount(), before);
    Release(bitmap);
}

TEST(BitmapResize, GrowingKeepsTheOldPixelsAndFillsTheRestWithBkColor)
{
    for (uint32_t bkColor : {kFill, 0u, kButtonFaceColor}) {
        Bitmap* bitmap = PatternBitmap(10, 10);
        bitmap->BkColor = bkColor;
        bitmap->SetWidth(20);
        Picture32 expected(20, 10, FromColorRef(ColorToRgb(bkColor)));
        for (int32_t y = 0; y < 10; ++y)
            for (int32_t x = 0; x < 10; ++x)
                expected.At(x, y) = PatternColor(x, y);
        EXPECT_TRUE(SamePicture(ContentsOf(bitmap), expected, "grow_" + std::to_string(bkColor)));
        Release(bitmap);
    }
}

TEST(BitmapResize, ShrinkingKeepsTheTopLeftCorner)
{
    Bitmap* bitmap = PatternBitmap(10, 10);
    bitmap->SetHeight(4);
    bitmap->SetWidth(6);
    EXPECT_TRUE(SamePicture(ContentsOf(bitmap), PatternPicture(6, 4), "shrink"));
    Release(bitmap);
}

TEST(BitmapResize, ToZeroAndBackKeepsWhatFits)
{
    Bitmap* bitmap = PatternBitmap(8, 8);
    bitmap->SetWidth(0);
    EXPECT_EQ(bitmap->GetCanvas(), nullptr);
    bitmap->SetWidth(8);
    EXPECT_TRUE(SamePicture(ContentsOf(bitmap), PatternPicture(8, 8), "zero_and_back"));
    Release(bitmap);
}

TEST(BitmapResources, ThousandCreateResizeReleaseCyclesLeakNothing)
{
    const int32_t gdiBefore = GdiLiveCount(), objectsBefore = Obj::LiveCount();
    for (int i = 0; i < 1000; ++i) {
        Bitmap* bitmap = NewBitmap(16, 8);
        bitmap->GetCanvas();
        bitmap->SetWidth(24 + i % 3);
        bitmap->SetHeight(4);
        bitmap->GetCanvas();
        Release(bitmap);
    }
    EXPECT_EQ(GdiLiveCount(), gdiBefore);
    EXPECT_EQ(Obj::LiveCount(), objectsBefore);
}

// A stand-in for the window layer's device-context provider.
struct WindowProvider {
    HWND Window = nullptr;
    int Released = 0;
    HDC LastReleased = nullptr;

    static HDC Get(void* context, Canvas* canvas)
    {
        return canvas->Handle ? canvas->Handle : GdiGetDC(static_cast<WindowProvider*>(context)->Window);
    }
    static void Give(void* context, Canvas*, HDC dc)
    {
        auto* self = static_cast<WindowProvider*>(context);
        ++self->Released;
        self->LastReleased = dc;
        GdiReleaseDC(self->Window, dc);
    }
    void Attach(Canvas* canvas)
    {
        canvas->OnGetHandle = {&Get, this};
        canvas->OnReleaseHandle = {&Give, this};
    }
};

TEST(CanvasRelease, BitmapCanvasContextIsDeleted)
{
    const GdiCounts before = GdiLiveCounts();
    Bitmap* bitmap = NewBitmap(4, 4);
    HDC dc = bitmap->GetCanvas()->Handle;
    EXPECT_EQ(GdiLiveCounts().DCs, before.DCs + 1);
    Release(bitmap);
    EXPECT_EQ(GetObjectType(dc), 0u);
    EXPECT_EQ(GdiLiveCounts().DCs, before.DCs);
    EXPECT_EQ(GdiLiveCount(), before.Total());
}

TEST(CanvasRelease, WindowContextIsGivenBackWhenReplaced)
{
    TestWindow window(20, 20);
    WindowProvider provider{window.Handle()};
    Canvas* canvas = NewCanvas(nullptr);
    provider.Attach(canvas);
    HDC dc = canvas->GetHandle();
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(canvas->GetHandle(), dc);
    EXPECT_EQ(GdiLiveCounts().WindowDCs, 1);
    canvas->SetHandle(nullptr);
    EXPECT_EQ(provider.Released, 1);
    EXPECT_EQ(provider.LastReleased, dc);
    EXPECT_EQ(GdiLiveCounts().WindowDCs, 0);
    EXPECT_EQ(canvas->State & kCanvasHandleValid, 0);
    Release(canvas);
    EXPECT_EQ(provider.Released, 1);
}

struct PaintProbe {
    WindowProvider Provider;
    Canvas* Target = nullptr;
    bool Painted = false;
    bool DcAliveAfterDetach = false;
    int ReleasedWhilePainting = -1;
};
PaintProbe* paintProbe = nullptr;

LRESULT CALLBACK PaintProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_PAINT || !paintProbe)
        return DefWindowProcA(window, message, wParam, lParam);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    paintProbe->Target->SetHandle(dc);
    paintProbe->Target->IsPaintDC = true;
    paintProbe->Target->SetHandle(nullptr);
    paintProbe->ReleasedWhilePainting = paintProbe->Provider.Released;
    paintProbe->DcAliveAfterDetach = GetObjectType(dc) == OBJ_DC;
    paintProbe->Painted = true;
    EndPaint(window, &paint);
    return 0;
}

TEST(CanvasRelease, PaintContextIsNeitherReleasedNorDeleted)
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &PaintProbeProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "canvas_PaintProbe";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "canvas_PaintProbe", "", WS_POPUP | WS_VISIBLE, 0, 0, 30, 30, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    PaintProbe probe{{window}};
    probe.Target = NewCanvas(nullptr);
    probe.Provider.Attach(probe.Target);
    paintProbe = &probe;
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
    paintProbe = nullptr;
    DestroyWindow(window);
    ASSERT_TRUE(probe.Painted);
    EXPECT_EQ(probe.ReleasedWhilePainting, 0);
    EXPECT_TRUE(probe.DcAliveAfterDetach);
    Release(probe.Target);
}

TEST(CanvasHandle, SettingTheSameContextTwiceReleasesNothing)
{
    HDC dc = GdiCreateCompatibleDC(nullptr);
    Canvas* canvas = NewCanvas(dc);
    const int32_t dcs = GdiLiveCounts().DCs;
    canvas->SetHandle(dc);
    EXPECT_EQ(canvas->Handle, dc);
    EXPECT_EQ(GdiLiveCounts().DCs, dcs);
    EXPECT_EQ(GetObjectType(dc), static_cast<DWORD>(OBJ_MEMDC));
    Release(canvas);
    EXPECT_EQ(GdiLiveCounts().DCs, dcs - 1);
}

TEST(CanvasHandle, NewContextTakesThePenPosition)
{
    Canvas* canvas = NewCanvas(nullptr);
    canvas->PenPos = {7, 9};
    canvas->SetHandle(GdiCreateCompatibleDC(nullptr));
    POINT position{};
    GetCurrentPositionEx(canvas->Handle, &position);
    EXPECT_EQ(position.x, 7);
    EXPECT_EQ(position.y, 9);
    Release(canvas);
}

TEST(BrushTool, SelectedBrushLeavesTheContextBeforeItIsDeleted)
{
    const int32_t brushes = GdiLiveCounts().Brushes;
    Canvas* canvas = NewCanvas(GdiCreateCompatibleDC(nullptr));
    canvas->SelectBrush();
    HGDIOBJ made = canvas->Brush()->Handle;
    EXPECT_EQ(GetCurrentObject(canvas->Handle, OBJ_BRUSH), made);
    canvas->Brush()->SetColor(0x00FF00);
    EXPECT_EQ(GetCurrentObject(canvas->Handle, OBJ_BRUSH), GetStockObject(NULL_BRUSH));
    EXPECT_EQ(canvas->State & kCanvasToolsSelected, 0);
    EXPECT_EQ(GdiLiveCounts().Brushes, brushes);
    Release(canvas);
    EXPECT_EQ(GdiLiveCounts().Brushes, brushes);
}

TEST(BrushTool, NewBrushIsSolidButtonFace)
{
    GraphicTool* brush = NewBrush();
    EXPECT_TRUE(BrushToolCreated());
    LOGBRUSH made{};
    ASSERT_EQ(GetObjectA(brush->GetHandle(), sizeof made, &made), int(sizeof made));
    EXPECT_EQ(made.lbStyle, UINT(BS_SOLID));
    EXPECT_EQ(made.lbColor, GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(ColorToRgb(kButtonFaceColor), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(ColorToRgb(kFill), kFill);
    Release(brush);
}

TEST(BrushTool, EqualChildSharesItsParentsHandleUntilItsColourDiffers)
{
    const int32_t brushes = GdiLiveCounts().Brushes;
    GraphicTool* parent = NewBrush();
    GraphicTool* child = NewBrush();
    child->ParentTool = parent;
    EXPECT_EQ(child->GetHandle(), parent->GetHandle());
    EXPECT_EQ(GdiLiveCounts().Brushes, brushes + 1);
    child->SetColor(kFill);
    EXPECT_NE(child->GetHandle(), parent->GetHandle());
    EXPECT_EQ(GdiLiveCounts().Brushes, brushes + 2);
    Release(child);
    Release(parent);
    EXPECT_EQ(GdiLiveCounts().Brushes, brushes);
}

TEST(BrushTool, AssignCopiesTheDescriptionAndNoSourceReleasesTheTarget)
{
    const int32_t objects = Obj::LiveCount();
    GraphicTool* source = NewBrush();
    source->SetColor(kFill);
    source->Description.Style = static_cast<uint8_t>(BrushStyle::FirstHatch) + HS_CROSS;
    source->Description.HatchColor = 0x00123456;
    GraphicTool* copy = GraphicTool::Assign(nullptr, source);
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->SameDescription(*source));
    LOGBRUSH made{};
    GetObjectA(copy->GetHandle(), sizeof made, &made);
    EXPECT_EQ(made.lbStyle, UINT(BS_HATCHED));
    EXPECT_EQ(made.lbHatch, ULONG_PTR(HS_CROSS));
    EXPECT_EQ(made.lbColor, 0x00123456u);
    EXPECT_EQ(GraphicTool::Assign(copy, nullptr), nullptr);
    Release(source);
    EXPECT_EQ(Obj::LiveCount(), objects);
}

}  // namespace
