// The twelve exports and the library's load and unload.
#include <windows.h>

#include <type_traits>

#include "plugin/module.h"
#include "plugin/pngplug.h"
#include "plugin/view.h"
#include "winlayer/base/barrier.h"
#include "winlayer/base/byte_string.h"

HWND volatile HostWindow = nullptr;
ViewRect ViewRectangle;

namespace {

// Copies owned by the library; the host may free its own buffers at once.
ByteString storedPath;
ByteString storedFile;
void* storedData = nullptr;

// Line 2 is "See the description on the site" in Russian, code page 1251.
constexpr char kInfo[] =
    "Tesmoor PNG plugin\r\n"
    "\xD1\xEC\xEE\xF2\xF0\xE8\x20\xEE\xEF\xE8\xF1\xE0\xED\xE8\xE5\x20\xED\xE0\x20\xF1\xE0\xE9\xF2\xE5\r\n"
    "Look the description at a site\r\n"
    "          https://pngplug.example.org/\r\n"
    "WRITTEN BY THE PNGPLUG DEVELOPERS.\r\n";
constexpr char kShortInfo[] = "Tesmoor PNG Small_plugin";
constexpr char kCopyright[] = "      Copyright \xA9 2026 the pngplug developers";

// Null stores the empty string; so does a copy that cannot be allocated.
void Store(ByteString& slot, const char* text) { slot = text; }

}  // namespace

extern "C" {

// Every export that does work runs inside Guarded: no exception reaches the
// host.

void __cdecl SetParentWindow(HWND host)
{
    Guarded([host] {
        HostWindow = host;
        StartView();
    });
}

void __cdecl Draw(int, int x, int y, int width, int height)
{
    Guarded([=] {
        ViewRectangle = {x, y, width, height};
        PlaceView();
    });
}

void __cdecl SetPath(const char* path)
{
    Guarded([path] { Store(storedPath, path); });
}

void __cdecl SetFile(const char* file)
{
    Guarded([file] { Store(storedFile, file); });
}

// The rest only hand back or keep a value: nothing in them can throw, so
// they need no guard.
const char* __cdecl GetFile(void) { return storedFile.c_str(); }

void __cdecl SetData(void* data) { storedData = data; }

void* __cdecl GetData(void) { return storedData; }

int __cdecl GetType(void) { return 0; }

const char* __cdecl GetShortInfo(void) { return kShortInfo; }

const char* __cdecl GetInfo(void) { return kInfo; }

const char* __cdecl Copyright(void) { return kCopyright; }

void __cdecl Settings(void) {}

}  // extern "C"

// Hosts that look the exports up by name call them through the header's
// pointer types: each must be exactly the type of the function it names.
static_assert(std::is_same_v<decltype(&SetParentWindow), PngplugSetParentWindowFn>);
static_assert(std::is_same_v<decltype(&Draw), PngplugDrawFn>);
static_assert(std::is_same_v<decltype(&SetPath), PngplugSetPathFn>);
static_assert(std::is_same_v<decltype(&SetFile), PngplugSetFileFn>);
static_assert(std::is_same_v<decltype(&GetFile), PngplugGetFileFn>);
static_assert(std::is_same_v<decltype(&SetData), PngplugSetDataFn>);
static_assert(std::is_same_v<decltype(&GetData), PngplugGetDataFn>);
static_assert(std::is_same_v<decltype(&GetType), PngplugGetTypeFn>);
static_assert(std::is_same_v<decltype(&GetShortInfo), PngplugGetShortInfoFn>);
static_assert(std::is_same_v<decltype(&GetInfo), PngplugGetInfoFn>);
static_assert(std::is_same_v<decltype(&Copyright), PngplugCopyrightFn>);
static_assert(std::is_same_v<decltype(&Settings), PngplugSettingsFn>);

namespace {

BOOL ProcessEvent(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        StartLibrary(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        // At process exit (reserved set) every other thread, the timer's
        // included, is already gone and the system reclaims memory and window
        // classes with the process: a teardown would only call into a
        // half-dismantled process.
        if (reserved)
            return TRUE;
        StopLibrary();
        storedPath.clear();
        storedFile.clear();
    }
    return TRUE;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    return Guarded(BOOL{TRUE}, [=] { return ProcessEvent(instance, reason, reserved); });
}
