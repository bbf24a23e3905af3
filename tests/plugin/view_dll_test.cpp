// The view inside pngplug.dll, loaded and unloaded as a host does it: the
// library's load and unload must leave no window, timer or class behind.
#include <gtest/gtest.h>

#include "plugin/view.h"
#include "tests/plugin/view_support.h"

namespace {

constexpr DWORD kViewTimeoutMs = 3000;
constexpr DWORD kSettleMs = 200;

using SetParentWindowFn = void(__cdecl*)(HWND);
using DrawFn = void(__cdecl*)(int, int, int, int, int);

struct LoadedPlugin {
    HMODULE Module = LoadLibraryA("pngplug.dll");
    SetParentWindowFn SetParentWindow = Resolve<SetParentWindowFn>("SetParentWindow");
    DrawFn Draw = Resolve<DrawFn>("Draw");

    template <typename F>
    F Resolve(const char* name) const
    {
        return Module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(Module, name))) : nullptr;
    }
    bool Ready() const { return Module && SetParentWindow && Draw; }
    void Start(HWND host) const
    {
        SetParentWindow(host);
        Draw(0, kViewBox.X, kViewBox.Y, kViewBox.Width, kViewBox.Height);
    }
    // Started, and the form once it is shown in the host (or null).
    HWND StartShown(HWND host) const;
    BOOL Free()
    {
        BOOL freed = FreeLibrary(Module);
        Module = nullptr;
        return freed;
    }
    ~LoadedPlugin()
    {
        if (Module)
            FreeLibrary(Module);
    }
};

HWND FindForm(HWND host) { return FindWindowExA(host, nullptr, "obj_Form", nullptr); }

HWND WaitForForm(HWND host)
{
    HWND form = nullptr;
    PumpUntil([&] { return (form = FindForm(host)) != nullptr && IsWindowVisible(form); }, kViewTimeoutMs);
    PumpFor(kSettleMs);
    return form;
}

HWND LoadedPlugin::StartShown(HWND host) const
{
    Start(host);
    return WaitForForm(host);
}

Pixels ViewOnScreen(HWND host) { return ReadClient(host, kViewBox.X, kViewBox.Y, kViewBox.Width, kViewBox.Height); }

TEST(ViewInTheDll, UnloadWhileTheMoveIntoTheHostIsPendingIsSafe)
{
    TestHost host;
    LoadedPlugin plugin;
    ASSERT_TRUE(plugin.Ready()) << "LoadLibraryA error " << GetLastError();
    plugin.Start(host.Handle());
    EXPECT_TRUE(plugin.Free());
    // A tick left running would now call into unloaded code and end the
    // process through the crash filter.
    PumpFor(kSettleMs);
    EXPECT_EQ(FindForm(host.Handle()), nullptr);
    EXPECT_EQ(FindWindowA("obj_Form", nullptr), nullptr) << "the hidden form outlived the library";
}

// Five clicks reach the animated sample: the unload comes in the middle of
// its play. Its frame timer belongs to the view's window, so the unload that
// takes the window leaves nothing to tick into unloaded code.
TEST(ViewInTheDll, UnloadWithAShownViewTakesItOutOfTheHost)
{
    TestHost host;
    LoadedPlugin plugin;
    ASSERT_TRUE(plugin.Ready());
    HWND form = plugin.StartShown(host.Handle());
    ASSERT_NE(form, nullptr);
    for (int click = 0; click < 5; ++click)
        PostClick(form);
    PumpFor(500);
    const Pixels playing = ViewOnScreen(host.Handle());
    PumpFor(400);
    EXPECT_FALSE(SamePixels(ViewOnScreen(host.Handle()), playing)) << "the sample did not play";
    EXPECT_TRUE(plugin.Free());
    EXPECT_FALSE(IsWindow(form));
    RedrawWindow(host.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    PumpFor(kSettleMs + 300);
    EXPECT_TRUE(SamePixels(ViewOnScreen(host.Handle()), HostPixelsUnderView())) << "the host shows itself again";
    EXPECT_EQ(FindWindowA("obj_Form", nullptr), nullptr);
}

TEST(ViewInTheDll, SecondHostWindowAfterReloadingGetsAWorkingView)
{
    {
        TestHost first;
        LoadedPlugin plugin;
        ASSERT_TRUE(plugin.Ready());
        HWND form = plugin.StartShown(first.Handle());
        ASSERT_NE(form, nullptr);
        PostClick(form);
        PostClick(form);
        PumpFor(kSettleMs);
        first.Destroy();
        PumpFor(50);
        EXPECT_TRUE(plugin.Free());
    }
    TestHost second;
    LoadedPlugin plugin;
    ASSERT_TRUE(plugin.Ready()) << "the window classes of the first load are still registered?";
    HWND form = plugin.StartShown(second.Handle());
    ASSERT_NE(form, nullptr);
    PostClick(form);
    PumpFor(kSettleMs);
    OraclePicture picture;
    ASSERT_TRUE(DecodeWithOracle(kImageFiles[0], picture));
    EXPECT_TRUE(SamePixels(ViewOnScreen(second.Handle()), ExpectedView(HostPixelsUnderView(), picture)))
        << "a fresh load starts the cycle at the first picture again";
    second.Destroy();
    PumpFor(50);
    EXPECT_TRUE(plugin.Free());
}

}  // namespace
