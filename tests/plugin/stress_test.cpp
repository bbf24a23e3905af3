// The view under a hostile host, with the library's code in this process so
// that its objects and GDI objects can be counted: hundreds of clicks over
// folders of broken, cut, missing and empty files refilled between rounds,
// moves to empty, negative and huge rectangles, repaint storms, capture
// requests, host windows destroyed with messages queued, and quit messages
// taken by a capture. After every step the process must live, the counts
// must be back at their level, and every file that holds a complete picture
// must show it pixel for pixel.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "plugin/pngplug.h"
#include "plugin/view.h"
#include "tests/plugin/stress_support.h"
#include "winlayer/winlayer.h"

namespace {

constexpr int kRounds = 40;
constexpr int kDestroyCycles = 12;
constexpr int kQuitCycles = 6;
constexpr DWORD kClickTimeoutMs = 3000;
// Posted to a subclassed host: destroy yourself, with more messages queued behind.
constexpr UINT kDestroyMessage = WM_APP + 0x3A6;

int NextSlot() { return ImageIndex >= 6 ? 0 : ImageIndex; }

int32_t IndexAfter(int32_t index, int clicks)
{
    for (; clicks > 0; --clicks)
        index = (index >= 6 ? 0 : index) + 1;
    return index;
}

// The file the view loaded last, from the current folder; none before a click.
const char* LastLoaded() { return ImageIndex > 0 ? kImageFiles[ImageIndex - 1] : nullptr; }

// What the view's picture costs now: CurrentImage lives from the first view on.
LiveCounts CurrentPictureCost() { return CurrentImage ? PictureCost(LastLoaded()) : LiveCounts{}; }

ViewBox MovedBox(std::minstd_rand& random)
{
    return {static_cast<int>(random() % 81), static_cast<int>(random() % 81), kViewBox.Width, kViewBox.Height};
}

WNDPROC originalHostProc = nullptr;

LRESULT CALLBACK SelfDestroyingHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kDestroyMessage) {
        DestroyWindow(window);
        return 0;
    }
    return CallWindowProcA(originalHostProc, window, message, wParam, lParam);
}

class Stress : public ViewFixture {
protected:
    void SetUp() override
    {
        beforeLibrary = CountLive();
        ViewFixture::SetUp();
        libraryStarted = CountLive();
    }

    bool Click(UINT down = WM_LBUTTONDOWN, UINT up = WM_LBUTTONUP)
    {
        const int32_t expected = NextSlot() + 1;
        PostClick(FormWindow(), down, up);
        return PumpUntil([expected] { return ImageIndex == expected; }, kClickTimeoutMs);
    }

    // As an unload and a reload do: nothing may outlive the stop.
    void Reload()
    {
        host.reset();
        frame.reset();
        Settle();
        StopLibrary();
        EXPECT_TRUE(SameCounts(CountLive(), beforeLibrary)) << "after stopping the library";
        StartLibrary(GetModuleHandleA(nullptr));
        EXPECT_TRUE(SameCounts(CountLive(), libraryStarted)) << "after starting it again";
    }

    void DestroyHostNow()
    {
        if (frame)
            frame->Destroy();
        host->Destroy();
    }

    // A careless host's burst: clicks of every kind, paints, capture
    // requests and moves, all queued or done before anything is dispatched.
    // Returns the number of clicks.
    int QueueBatch()
    {
        HWND form = FormWindow();
        int clicks = 0;
        for (int i = 5 + static_cast<int>(random() % 15); i > 0; --i) {
            const int kind = static_cast<int>(random() % 6);
            clicks += kind < 3;
            switch (kind) {
            case 0: PostClick(form); break;
            case 1: PostClick(form, WM_RBUTTONDOWN, WM_RBUTTONUP); break;
            case 2: PostClick(form, WM_LBUTTONDBLCLK, WM_LBUTTONUP); break;
            case 3: InvalidateRect(host->Handle(), nullptr, TRUE); break;
            case 4: PostMessageA(form, kRecaptureMessage, 0, 0); break;
            default: {
                const ViewBox box = HostileBox(random);
                Draw(0, box.X, box.Y, box.Width, box.Height);
            }
            }
        }
        return clicks;
    }

    // The host destroys itself when it gets to a message queued among others.
    void QueueHostDestruction()
    {
        originalHostProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(host->Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SelfDestroyingHostProc)));
        PostMessageA(host->Handle(), kDestroyMessage, 0, 0);
    }

    void HostileClick(const StressFolder& folder, int round);
    void ShowNextFile(const StressFolder& folder, int cycle);
    void DestroyCycle(const StressFolder& folder, int cycle);
    void QuitCycle(int cycle);

    LiveCounts beforeLibrary;
    LiveCounts libraryStarted;
    // The view's own cost, whatever picture it holds.
    LiveCounts viewLevel;
    // Hostile clicks by what the view had to show after them.
    std::array<int, 3> expectations{};
    ViewBox captured = kViewBox;
    std::minstd_rand random{kStressSeed};
    CoverWindow cover;
};

// One click with something hostile before or after it, then the checks.
void Stress::HostileClick(const StressFolder& folder, int round)
{
    const int slot = NextSlot();
    const StressFile& file = folder.File(slot);
    const std::string where = "seed " + std::to_string(kStressSeed) + ", round " + std::to_string(round) + ", " +
                              kImageFiles[slot] + " holding " + file.Describe();
    const int hostility = static_cast<int>(random() % 6);
    if (hostility == 1 || hostility == 5) {
        const ViewBox box = HostileBox(random);
        Draw(0, box.X, box.Y, box.Width, box.Height);
    } else if (hostility == 3) {
        // Once with nothing to capture, then at a new place of the view's size.
        Draw(0, kViewBox.X, kViewBox.Y, 0, 0);
        PostMessageA(FormWindow(), kRecaptureMessage, 0, 0);
        Settle();
        captured = MovedBox(random);
        Draw(0, captured.X, captured.Y, captured.Width, captured.Height);
        PostMessageA(FormWindow(), kRecaptureMessage, 0, 0);
        Settle();
    }
    const bool clicked = hostility == 4 ? Click(WM_LBUTTONDBLCLK, WM_LBUTTONUP) : Click();
    ASSERT_TRUE(clicked) << where;
    if (hostility == 2 || hostility == 5)
        RepaintStorm(host->Handle(), cover, random);
    Draw(0, kViewBox.X, kViewBox.Y, kViewBox.Width, kViewBox.Height);
    Settle();
    EXPECT_TRUE(ViewShows(host->Handle(), file, captured)) << where;
    EXPECT_TRUE(SameCounts(CountLive() - PictureCost(kImageFiles[slot]), viewLevel)) << where;
    ++expectations[static_cast<int>(file.Expect)];
}

TEST_F(Stress, HostileFilesMovesAndRepaintStormsLeaveTheViewExactAndLeakFree)
{
    StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    RepaintStorm(host->Handle(), cover, random);
    Settle();
    viewLevel = CountLive() - CurrentPictureCost();
    StressFolder folder("stress");
    ASSERT_TRUE(folder.Enter());
    for (int round = 0; round < kRounds && !HasFatalFailure(); ++round) {
        ASSERT_TRUE(folder.Refill(random));
        for (int click = 0; click < 6 && !HasFatalFailure(); ++click)
            HostileClick(folder, round);
    }
    ASSERT_TRUE(folder.Leave());
    std::printf("hostile clicks checked pixel for pixel: %d complete pictures, %d empty views; %d only survived\n",
                expectations[0], expectations[1], expectations[2]);
    // The real pictures afterwards, clicked and after a storm each.
    for (int click = 0; click < 6; ++click) {
        const int slot = NextSlot();
        ASSERT_TRUE(Click());
        Settle();
        EXPECT_TRUE(ViewShowsSample(host->Handle(), slot, captured)) << kImageFiles[slot];
        RepaintStorm(host->Handle(), cover, random);
        Settle();
        EXPECT_TRUE(ViewShowsSample(host->Handle(), slot, captured)) << kImageFiles[slot] << " after a storm";
        EXPECT_TRUE(SameCounts(CountLive() - PictureCost(kImageFiles[slot]), viewLevel)) << kImageFiles[slot];
    }
}

// The first capture, then a click with its pixel check.
void Stress::ShowNextFile(const StressFolder& folder, int cycle)
{
    ASSERT_TRUE(WaitForCapture()) << "cycle " << cycle;
    const StressFile& file = folder.File(NextSlot());
    ASSERT_TRUE(Click()) << "cycle " << cycle;
    Settle();
    EXPECT_TRUE(ViewShows(host->Handle(), file, captured)) << "cycle " << cycle << ": " << file.Describe();
}

// The host goes with messages queued for the view: before the view moved
// into it (0), with the capture pending (1), after the capture (2), and in
// the middle of dispatching the queue (3).
void Stress::DestroyCycle(const StressFolder& folder, int cycle)
{
    const int stage = cycle % 4;
    captured = kViewBox;
    StartWithHost(cycle / 4 % 2 == 1);
    MSG request{};
    if (stage == 1) {
        ASSERT_TRUE(TakeMessage(FormWindow(), kRecaptureMessage, request));
    }
    if (stage >= 2)
        ShowNextFile(folder, cycle);
    const int32_t index = ImageIndex;
    const int clicks = QueueBatch();
    // A capture request to a form that never got into its host.
    if (stage == 0)
        PostMessageA(FormWindow(), kRecaptureMessage, 0, 0);
    if (stage == 3) {
        QueueHostDestruction();
        QueueBatch();
    } else {
        DestroyHostNow();
    }
    if (stage == 1)
        DispatchMessageA(&request);
    Settle();
    frame.reset();
    if (stage == 0) {
        EXPECT_FALSE(IsWindowVisible(FormWindow())) << "a view without a host must stay hidden";
        Reload();
        return;
    }
    EXPECT_EQ(ImageIndex, IndexAfter(index, stage == 3 ? clicks : 0))
        << "cycle " << cycle << ": only clicks queued before the host went may reach the view";
    EXPECT_EQ(PluginView, nullptr) << "cycle " << cycle;
    EXPECT_EQ(BackgroundBitmap, nullptr) << "cycle " << cycle;
    EXPECT_TRUE(SameCounts(CountLive(), libraryStarted + CurrentPictureCost())) << "cycle " << cycle;
}

TEST_F(Stress, HostWindowsDestroyedWithClicksAndPaintsQueuedLeaveNothing)
{
    StressFolder folder("stress");
    ASSERT_TRUE(folder.Enter());
    for (int cycle = 0; cycle < kDestroyCycles && !HasFatalFailure(); ++cycle) {
        ASSERT_TRUE(folder.Refill(random));
        DestroyCycle(folder, cycle);
    }
    ASSERT_TRUE(folder.Leave());
    // A new host after all that gets a working view.
    StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    const int slot = NextSlot();
    ASSERT_TRUE(Click());
    Settle();
    EXPECT_TRUE(ViewShowsSample(host->Handle(), slot, kViewBox)) << kImageFiles[slot];
}

// A quit message taken by a capture's drain, with clicks queued behind it:
// the first capture (even cycles) or a later one the host asked for (odd).
void Stress::QuitCycle(int cycle)
{
    if (cycle > 0)
        Reload();
    QuitMessagesSeen = 0;
    StartWithHost(cycle % 2 == 1);
    if (cycle % 2 == 1) {
        ASSERT_TRUE(WaitForCapture());
        ASSERT_TRUE(Click());
        PostMessageA(FormWindow(), kRecaptureMessage, 0, 0);
    }
    MSG request{};
    ASSERT_TRUE(TakeMessage(FormWindow(), kRecaptureMessage, request));
    for (int i = 1 + static_cast<int>(random() % 4); i > 0; --i)
        PostClick(FormWindow());
    PostQuitMessage(0);
    DispatchMessageA(&request);
    Settle();
    EXPECT_TRUE(AppletTerminated) << "cycle " << cycle;
    EXPECT_EQ(QuitMessagesSeen, 1) << "cycle " << cycle << ": the host's own loop must get its quit message once";
    ASSERT_NE(BackgroundBitmap, nullptr) << "cycle " << cycle << ": the capture itself completes";
    EXPECT_TRUE(SamePixels(ReadBitmap(BackgroundBitmap->GetHandle()), HostPixelsUnderView())) << "cycle " << cycle;

    // From now on nothing of the view may run but its release.
    const int32_t index = ImageIndex;
    QueueBatch();
    RepaintStorm(host->Handle(), cover, random);
    Settle();
    EXPECT_EQ(ImageIndex, index) << "cycle " << cycle << ": a click after the quit reached the view";
    DestroyHostNow();
    Settle();
    frame.reset();
    EXPECT_EQ(PluginView, nullptr) << "cycle " << cycle << ": the view must go with its host even after a quit";
    EXPECT_TRUE(SameCounts(CountLive(), libraryStarted + CurrentPictureCost())) << "cycle " << cycle;
}

TEST_F(Stress, QuitMessagesTakenByCapturesSilenceTheViewButReleaseIt)
{
    StressFolder folder("stress");
    ASSERT_TRUE(folder.Enter());
    for (int cycle = 0; cycle < kQuitCycles && !HasFatalFailure(); ++cycle) {
        ASSERT_TRUE(folder.Refill(random));
        QuitCycle(cycle);
    }
    ASSERT_TRUE(folder.Leave());
    // A reload after the quit gives a view that works again.
    Reload();
    StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    ASSERT_TRUE(Click());
    Settle();
    EXPECT_TRUE(ViewShowsSample(host->Handle(), 0, kViewBox)) << kImageFiles[0];
}

// A picture behind 264 MB of empty unknown chunks: the click that loads it
// returns within 5 s and shows the picture, the host's loop goes on, the
// next click shows the next picture, and the counts come back to their level.
TEST_F(Stress, AFloodFileCostsAClickSecondsAndLeavesNothing)
{
    StartWithHost();
    ASSERT_TRUE(WaitForCapture());
    Settle();
    viewLevel = CountLive() - CurrentPictureCost();
    StressFolder folder("flood");
    ASSERT_TRUE(folder.Enter());
    const int slot = NextSlot();
    ASSERT_TRUE(PlaceSamplesWithFlood(slot));
    const DWORD start = GetTickCount();
    PostClick(FormWindow());
    ASSERT_TRUE(DispatchQueued(host->Handle())) << "the host's loop stopped";
    const DWORD took = GetTickCount() - start;
    std::printf("a click on a %llu MB flood file returned after %lu ms\n",
                static_cast<unsigned long long>(kFloodBytes >> 20), static_cast<unsigned long>(took));
    EXPECT_LT(took, kFloodClickMs);
    EXPECT_EQ(ImageIndex, slot + 1);
    Settle();
    EXPECT_TRUE(ViewShowsSample(host->Handle(), slot, captured));
    EXPECT_TRUE(SameCounts(CountLive() - PictureCost(kImageFiles[slot]), viewLevel)) << "after the flood file";
    const int next = NextSlot();
    ASSERT_TRUE(Click());
    Settle();
    EXPECT_TRUE(ViewShowsSample(host->Handle(), next, captured));
    EXPECT_TRUE(SameCounts(CountLive() - PictureCost(kImageFiles[next]), viewLevel)) << "after the next file";
    DeleteFileA(kImageFiles[slot]);
    ASSERT_TRUE(folder.Leave());
}

bool ShownOutside(HWND form, HWND host) { return IsWindowVisible(form) && GetAncestor(form, GA_PARENT) != host; }

TEST_F(Stress, CaptureRequestsBeforeTheFormIsInItsHostShowNoStrayWindow)
{
    // Early, with the host still there: the form waits for the re-parenting.
    StartWithHost();
    SendMessageA(FormWindow(), kRecaptureMessage, 0, 0);
    EXPECT_FALSE(ShownOutside(FormWindow(), host->Handle())) << "the form floats on the desktop";
    ASSERT_TRUE(WaitForCapture());
    EXPECT_TRUE(SamePixels(ReadBitmap(BackgroundBitmap->GetHandle()), HostPixelsUnderView()));

    // With the host gone first, for good.
    Reload();
    StartWithHost();
    HWND form = FormWindow();
    host->Destroy();
    PostMessageA(form, kRecaptureMessage, 0, 0);
    Settle();
    EXPECT_FALSE(IsWindowVisible(form)) << "the form floats on the desktop";
}

}  // namespace
