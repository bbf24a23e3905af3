// Control properties and events: geometry, styles and the framed look, the
// click and paint events, the background and its brushes.
#include "tests/winlayer/window/layer_fixture.h"

namespace {

int clicks = 0;
HDC paintedWith = nullptr;

void CountClick(void*, Control*) { ++clicks; }

// Draws through the control's canvas, as the view does, to prove the canvas
// works on the context the paint cycle lent.
void PaintGreen(void*, Control* control, HDC dc)
{
    paintedWith = dc;
    HDC canvasDC = control->Canvas()->GetHandle();
    RECT all{0, 0, 4, 4};
    HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
    FillRect(canvasDC, &all, green);
    DeleteObject(green);
}

class ControlTest : public LayerTest {
protected:
    void SetUp() override
    {
        LayerTest::SetUp();
        applet = CreateApplet("test");
        applet->SetVisible(false);
        form = CreateForm(applet, "Form1");
        clicks = 0;
        paintedWith = nullptr;
    }

    void TearDown() override
    {
        Release(applet);
        LayerTest::TearDown();
    }

    Control* applet = nullptr;
    Control* form = nullptr;
};

// Runs first in this program: the plain rule only holds until the first
// brush tool exists, and NewBrush switches the library for good.
TEST_F(ControlTest, NestedControlsOfOneColourShareABrushUnderBothRules)
{
    ASSERT_FALSE(BrushToolCreated());
    Control* inner = CreateForm(form, "inner");
    HBRUSH shared = GetControlBrushHandle(inner);
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(GetControlBrushHandle(form), shared);
    inner->BackgroundColor = RGB(255, 0, 0);
    HBRUSH own = GetControlBrushHandle(inner);
    EXPECT_NE(own, shared);
    LOGBRUSH described{};
    GetObjectA(own, sizeof described, &described);
    EXPECT_EQ(described.lbColor, RGB(255, 0, 0));

    Release(NewBrush());
    inner->BackgroundColor = form->BackgroundColor;
    HBRUSH toolShared = GetControlBrushHandle(inner);
    ASSERT_NE(toolShared, nullptr);
    EXPECT_EQ(GetControlBrushHandle(form), toolShared);
    inner->BrushTool->SetColor(RGB(0, 0, 255));
    EXPECT_EQ(inner->BackgroundColor, RGB(0, 0, 255));
    EXPECT_NE(GetControlBrushHandle(inner), toolShared);
}

TEST_F(ControlTest, PlaceAtMovesWithoutResizing)
{
    // Wider than the smallest window a caption allows.
    form->SetBounds({10, 20, 210, 120});
    EnsureWindow(form);
    form->PlaceAt(200, 150);
    RECT placed = form->Bounds();
    EXPECT_EQ(placed.left, 200);
    EXPECT_EQ(placed.top, 150);
    EXPECT_EQ(form->Width(), 200);
    EXPECT_EQ(form->Height(), 100);
    RECT actual;
    GetWindowRect(form->Window, &actual);
    EXPECT_EQ(actual.left, 200);
    EXPECT_EQ(actual.right - actual.left, 200);
}

TEST_F(ControlTest, ResizeClientAreaSizesTheClientAndIgnoresNonPositiveValues)
{
    form->SetBounds({0, 0, 300, 200});
    form->ResizeClientArea(243, 226);
    EXPECT_EQ(form->ClientWidth(), 243);
    EXPECT_EQ(form->ClientHeight(), 226);
    int32_t width = form->Width();
    int32_t height = form->Height();
    EXPECT_GT(width, 243);  // still framed: the outer size carries the frame

    form->ResizeClientArea(0, -5);
    EXPECT_EQ(form->Width(), width);
    EXPECT_EQ(form->Height(), height);
    form->ResizeClientArea(-1, 100);
    EXPECT_EQ(form->Width(), width);
    EXPECT_EQ(form->ClientHeight(), 100);
}

TEST_F(ControlTest, UnframingATopLevelWindowLeavesABarePopup)
{
    form->SetExStyle(form->ExStyle | WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME);
    ASSERT_NE(EnsureWindow(form), nullptr);
    ASSERT_TRUE(form->Framed());
    form->SetFramed(false);
    EXPECT_FALSE(form->Framed());
    auto style = static_cast<uint32_t>(GetWindowLongA(form->Window, GWL_STYLE));
    auto exStyle = static_cast<uint32_t>(GetWindowLongA(form->Window, GWL_EXSTYLE));
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
    EXPECT_EQ(exStyle & (WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT), 0u);
    EXPECT_EQ(form->ClientWidth(), form->Width());

    form->SetFramed(true);
    EXPECT_TRUE(GetWindowLongA(form->Window, GWL_STYLE) & WS_THICKFRAME);
}

TEST_F(ControlTest, SetStyleWithTheStoredValueLeavesTheWindowAlone)
{
    ASSERT_NE(EnsureWindow(form), nullptr);
    uint32_t stored = form->Style;
    LONG outside = GetWindowLongA(form->Window, GWL_STYLE) & ~WS_MAXIMIZEBOX;
    SetWindowLongA(form->Window, GWL_STYLE, outside);
    form->SetStyle(stored);
    EXPECT_EQ(GetWindowLongA(form->Window, GWL_STYLE), outside);
    form->SetStyle(stored & ~static_cast<uint32_t>(WS_MINIMIZEBOX));
    EXPECT_FALSE(GetWindowLongA(form->Window, GWL_STYLE) & WS_MINIMIZEBOX);
    EXPECT_TRUE(GetWindowLongA(form->Window, GWL_STYLE) & WS_MAXIMIZEBOX);
}

TEST_F(ControlTest, EnabledStateFollowsBeforeAndAfterTheWindowExists)
{
    form->SetEnabled(false);
    EXPECT_TRUE(form->Style & WS_DISABLED);
    ASSERT_NE(EnsureWindow(form), nullptr);
    EXPECT_FALSE(IsWindowEnabled(form->Window));
    form->SetEnabled(true);
    EXPECT_TRUE(IsWindowEnabled(form->Window));
    EXPECT_FALSE(form->Style & WS_DISABLED);
}

TEST_F(ControlTest, DoubleClickFiresTwiceAndRightPressSetsTheRightFlag)
{
    form->SetClickEvent({CountClick, nullptr});
    ASSERT_NE(EnsureWindow(form), nullptr);
    SendMessageA(form->Window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageA(form->Window, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    SendMessageA(form->Window, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(clicks, 2);
    EXPECT_FALSE(form->RightButton);
    SendMessageA(form->Window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(clicks, 3);
    EXPECT_TRUE(form->RightButton);
    SendMessageA(form->Window, WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(clicks, 4);
    EXPECT_FALSE(form->RightButton);
}

TEST_F(ControlTest, RealDoubleClickOnAFormArrivesAsPressThenDoubleClick)
{
    form->SetClickEvent({CountClick, nullptr});
    form->SetFramed(false);
    form->SetBounds({100, 100, 200, 200});
    form->SetVisible(true);
    ASSERT_NE(EnsureWindow(form), nullptr);
    SetForegroundWindow(form->Window);
    PumpFor(100);
    POINT centre{50, 50};
    ClientToScreen(form->Window, &centre);
    SetCursorPos(centre.x, centre.y);
    INPUT presses[4] = {};
    for (int i = 0; i < 4; ++i) {
        presses[i].type = INPUT_MOUSE;
        presses[i].mi.dwFlags = (i % 2 == 0) ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    }
    SendInput(4, presses, sizeof(INPUT));
    EXPECT_TRUE(PumpUntil([] { return clicks >= 2; }, 2000));
    PumpFor(100);
    EXPECT_EQ(clicks, 2);
}

TEST_F(ControlTest, ButtonClickComesThroughTheParentsCommand)
{
    form->SetVisible(true);
    Control* button = CreateButton(form, "press");
    button->SetClickEvent({CountClick, nullptr});
    button->SetVisible(true);
    ASSERT_NE(EnsureWindow(button), nullptr);
    RECT bounds = button->Bounds();
    EXPECT_EQ(bounds.left, 2);
    EXPECT_EQ(bounds.top, 2);
    EXPECT_EQ(button->Width(), 64);
    EXPECT_EQ(button->Height(), 22);
    // The button's own procedure notifies the form, which reflects it back.
    SendMessageA(button->Window, BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 1);
}

TEST_F(ControlTest, PaintUsesTheContextInWParamAndBeginPaintOnlyWithoutOne)
{
    form->SetPaintEvent({PaintGreen, nullptr});
    form->SetBounds({0, 0, 60, 60});
    ASSERT_NE(EnsureWindow(form), nullptr);
    form->SetVisible(true);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP target = CreateCompatibleBitmap(screen, 4, 4);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(memory, target);
    int32_t gdi = GdiLiveCount();

    InvalidateRect(form->Window, nullptr, FALSE);
    SendMessageA(form->Window, WM_PAINT, reinterpret_cast<WPARAM>(memory), 0);
    EXPECT_EQ(paintedWith, memory);
    EXPECT_EQ(GetPixel(memory, 1, 1), RGB(0, 255, 0));
    EXPECT_TRUE(GetUpdateRect(form->Window, nullptr, FALSE));  // nobody validated

    SendMessageA(form->Window, WM_PAINT, 0, 0);
    EXPECT_NE(paintedWith, memory);
    EXPECT_NE(paintedWith, nullptr);
    EXPECT_FALSE(GetUpdateRect(form->Window, nullptr, FALSE));
    EXPECT_EQ(form->PaintDC, nullptr);
    EXPECT_EQ(GdiLiveCount(), gdi);  // neither context nor region kept
    SelectObject(memory, old);
    DeleteObject(target);
    DeleteDC(memory);
}

TEST_F(ControlTest, BackgroundIsFilledWithTheControlsColour)
{
    form->BackgroundColor = RGB(200, 30, 90);
    form->SetFramed(false);
    form->SetBounds({50, 50, 110, 110});
    form->SetVisible(true);
    ASSERT_NE(EnsureWindow(form), nullptr);
    PumpFor(100);
    EXPECT_EQ(ReadPixel(form->Window, 10, 10), RGB(200, 30, 90));
}

TEST_F(ControlTest, CanvasOutsidePaintingBorrowsAWindowContextAndGivesItBack)
{
    int32_t windowDCs = GdiLiveCounts().WindowDCs;
    HDC dc = form->Canvas()->GetHandle();
    ASSERT_NE(dc, nullptr);
    EXPECT_NE(form->Window, nullptr);
    EXPECT_EQ(form->Canvas()->GetHandle(), dc);  // kept, not asked for again
    EXPECT_EQ(GdiLiveCounts().WindowDCs, windowDCs + 1);
    form->Canvas()->SetHandle(nullptr);
    EXPECT_EQ(GdiLiveCounts().WindowDCs, windowDCs);
}

}  // namespace
