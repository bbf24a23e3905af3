// pngplug.dll itself, loaded by a host that abuses it and unloads it, again
// and again: unloaded with its view shown and clicks queued, after the host
// window went with messages queued, after a capture took a quit message, and
// before the view ever moved into the host. No window of the library may
// outlive an unload, nothing it left behind may run afterwards, and every
// reload with a new host window must give a view that shows the right pixels.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "plugin/view.h"
#include "tests/plugin/stress_support.h"

namespace {

constexpr int kCycles = 8;
constexpr int kHostileClicks = 12;
constexpr DWORD kViewTimeoutMs = 3000;

using SetParentWindowFn = void(__cdecl*)(HWND);
using DrawFn = void(__cdecl*)(int, int, int, int, int);

struct Plugin {
    HMODULE Module = nullptr;
    SetParentWindowFn SetParentWindow = nullptr;
    DrawFn Draw = nullptr;

    bool Load()
    {
        Module = LoadLibraryA("pngplug.dll");
        if (!Module)
            return false;
        SetParentWindow =
            reinterpret_cast<SetParentWindowFn>(reinterpret_cast<void*>(GetProcAddress(Module, "SetParentWindow")));
        Draw = reinterpret_cast<DrawFn>(reinterpret_cast<void*>(GetProcAddress(Module, "Draw")));
        return SetParentWindow && Draw;
    }
    void Place(ViewBox box) const { Draw(0, box.X, box.Y, box.Width, box.Height); }
    BOOL Free()
    {
        const BOOL freed = FreeLibrary(Module);
        Module = nullptr;
        return freed;
    }
    ~Plugin()
    {
        if (Module)
            FreeLibrary(Module);
    }
};

HWND WaitForForm(HWND host)
{
    HWND form = nullptr;
    PumpUntil([&] { return (form = FindWindowExA(host, nullptr, "obj_Form", nullptr)) && IsWindowVisible(form); },
              kViewTimeoutMs);
    Settle();
    return form;
}

class StressDll : public testing::Test {
protected:
    void StartHost(bool childHost)
    {
        if (childHost) {
            frame = std::make_unique<TestHost>();
            host = std::make_unique<TestHost>(frame->Handle());
        } else {
            host = std::make_unique<TestHost>();
        }
        Settle();
        plugin.SetParentWindow(host->Handle());
        plugin.Place(kViewBox);
    }

    void DestroyHost()
    {
        frame.reset();
        host.reset();
    }

    // The view must take each click at once; the index of the file a click
    // loads is known from the number of clicks since the load.
    void ClickAndCheck(HWND form, const StressFile& file, const std::string& where)
    {
        PostClick(form, random() % 2 ? WM_LBUTTONDOWN : WM_RBUTTONDOWN, random() % 2 ? WM_LBUTTONUP : WM_RBUTTONUP);
        ASSERT_TRUE(DispatchQueued(host->Handle())) << where;
        ++clicks;
        plugin.Place(kViewBox);
        Settle();
        EXPECT_TRUE(ViewShows(host->Handle(), file, kViewBox)) << where;
    }

    void HostileClicks(HWND form, int cycle);
    void EndCycle(HWND form, int cycle);

    Plugin plugin;
    std::unique_ptr<TestHost> frame;
    std::unique_ptr<TestHost> host;
    int clicks = 0;
    std::minstd_rand random{kStressSeed};
    CoverWindow cover;
    StressFolder folder{"stress"};
};

void StressDll::HostileClicks(HWND form, int cycle)
{
    ASSERT_TRUE(folder.Refill(random));
    ASSERT_TRUE(folder.Enter());
    for (int i = 0; i < kHostileClicks && !HasFatalFailure(); ++i) {
        const StressFile& file = folder.File(clicks % 6);
        const std::string where = "seed " + std::to_string(kStressSeed) + ", cycle " + std::to_string(cycle) + ", " +
                                  kImageFiles[clicks % 6] + " holding " + file.Describe();
        if (random() % 2)
            plugin.Place(HostileBox(random));
        if (random() % 3 == 0)
            RepaintStorm(host->Handle(), cover, random);
        ClickAndCheck(form, file, where);
        // The folder changes under the view in the middle of its cycle.
        if (i == kHostileClicks / 2) {
            ASSERT_TRUE(folder.Refill(random));
        }
    }
    folder.Leave();
}

// Ends the cycle's load in one of four hostile ways, then unloads.
void StressDll::EndCycle(HWND form, int cycle)
{
    const int ending = cycle % 4;
    for (int i = 0; i < 8; ++i)
        PostClick(form);
    InvalidateRect(host->Handle(), nullptr, TRUE);
    if (ending == 1) {
        DestroyHost();
    } else if (ending == 2) {
        // A capture the host asks for, which meets a quit message in the queue.
        MSG request{};
        PostMessageA(form, kRecaptureMessage, 0, 0);
        ASSERT_TRUE(TakeMessage(form, kRecaptureMessage, request));
        QuitMessagesSeen = 0;
        PostQuitMessage(0);
        DispatchMessageA(&request);
        Settle();
        EXPECT_EQ(QuitMessagesSeen, 1) << "cycle " << cycle;
        DestroyHost();
    }
    EXPECT_TRUE(plugin.Free()) << "cycle " << cycle;
}

TEST_F(StressDll, LoadAbuseUnloadCyclesLeaveNoWindowAndEveryReloadWorks)
{
    for (int cycle = 0; cycle < kCycles && !HasFatalFailure(); ++cycle) {
        const int windowsBefore = ThreadWindowCount();
        ASSERT_TRUE(plugin.Load()) << "cycle " << cycle << ": LoadLibraryA error " << GetLastError();
        clicks = 0;
        StartHost(cycle / 4 % 2 == 1);
        if (cycle % 4 == 3) {
            // Gone before the view ever moved into the host: a tick or a
            // window left behind would now run unloaded code.
            EXPECT_TRUE(plugin.Free()) << "cycle " << cycle;
        } else {
            HWND form = WaitForForm(host->Handle());
            ASSERT_NE(form, nullptr) << "cycle " << cycle;
            // A fresh load starts at the first picture, shown exactly.
            PostClick(form);
            ASSERT_TRUE(DispatchQueued(host->Handle()));
            ++clicks;
            Settle();
            EXPECT_TRUE(ViewShowsSample(host->Handle(), 0, kViewBox)) << "cycle " << cycle;
            HostileClicks(form, cycle);
            EndCycle(form, cycle);
        }
        EXPECT_EQ(GetModuleHandleA("pngplug.dll"), nullptr) << "cycle " << cycle << ": still loaded";
        Settle();
        if (host) {
            EXPECT_EQ(FindWindowExA(host->Handle(), nullptr, "obj_Form", nullptr), nullptr) << "cycle " << cycle;
            RedrawWindow(host->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            Settle();
            EXPECT_TRUE(SamePixels(ReadClient(host->Handle(), kViewBox.X, kViewBox.Y, kViewBox.Width, kViewBox.Height),
                                   HostPixelsUnderView()))
                << "cycle " << cycle << ": the host must show itself again";
        }
        DestroyHost();
        Settle();
        EXPECT_EQ(ThreadWindowCount(), windowsBefore) << "cycle " << cycle << ": windows outlived the library";
    }
}

// pngplug.dll given a picture behind a 264 MB flood of empty chunks as its
// first file: the click returns within 5 s and shows the picture, the host
// pumps on, and the next click shows the next picture. (Its objects are
// counted in Stress.AFloodFileCostsAClickSecondsAndLeavesNothing.)
TEST_F(StressDll, AFloodFileCostsAClickSeconds)
{
    ASSERT_TRUE(plugin.Load()) << "LoadLibraryA error " << GetLastError();
    StartHost(false);
    HWND form = WaitForForm(host->Handle());
    ASSERT_NE(form, nullptr);
    StressFolder flood("flood");
    ASSERT_TRUE(flood.Enter());
    ASSERT_TRUE(PlaceSamplesWithFlood(0));
    const DWORD start = GetTickCount();
    PostClick(form);
    ASSERT_TRUE(DispatchQueued(host->Handle())) << "the host's loop stopped";
    const DWORD took = GetTickCount() - start;
    std::printf("pngplug.dll: a click on a %llu MB flood file returned after %lu ms\n",
                static_cast<unsigned long long>(kFloodBytes >> 20), static_cast<unsigned long>(took));
    EXPECT_LT(took, kFloodClickMs);
    Settle();
    EXPECT_TRUE(ViewShowsSample(host->Handle(), 0, kViewBox));
    PostClick(form);
    ASSERT_TRUE(DispatchQueued(host->Handle()));
    Settle();
    EXPECT_TRUE(ViewShowsSample(host->Handle(), 1, kViewBox));
    DeleteFileA(kImageFiles[0]);
    flood.Leave();
    DestroyHost();
    Settle();
    EXPECT_TRUE(plugin.Free());
}

}  // namespace
