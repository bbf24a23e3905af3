// pngplug-host: a plain Windows application that hosts pngplug.dll the way
// any host would, for trying the plug-in by hand and for scripted screenshots.
//
//   pngplug-host                         interactive: click the view to cycle
//   pngplug-host --clicks N --shots DIR  N clicks, DIR/shot-<i>.bmp after each;
//                                        exit 1 if the view, a shot or an
//                                        export's answer failed
//   ... --film K                         after the K-th click's shot, a shot
//                                        every 40 ms for 2.4 s as
//                                        DIR/film-<j>.bmp, and DIR/film.txt
//                                        with each one's time in ms
//
// The plug-in reads its pictures from the current directory; the DLL is
// loaded from the folder this program lives in, with LoadLibrary, and each
// export is looked up by name as the pointer type pngplug.h gives it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host_shot.h"
#include "pngplug.h"

namespace {

constexpr char kClassName[] = "PngPlugHost";
constexpr char kFormClass[] = "obj_Form";
constexpr int kClientWidth = 560;
constexpr int kClientHeight = 440;
// The view rectangle: large enough for every sample picture.
constexpr int kViewX = 40;
constexpr int kViewY = 40;
constexpr int kViewWidth = 480;
constexpr int kViewHeight = 360;
constexpr int kSquare = 20;
// The re-parenting tick comes 20 ms after SetParentWindow; allow wine ample time.
constexpr DWORD kViewTimeoutMs = 5000;
constexpr DWORD kSettleMs = 250;
// The film of an animated picture: longer than the sample's whole play.
constexpr DWORD kFilmIntervalMs = 40;
constexpr DWORD kFilmLengthMs = 2400;

struct Options {
    int Clicks = -1;  // -1: interactive
    std::string ShotDir;
    int FilmAfter = 0;  // 0: no film
};

// The twelve exports of the DLL loaded at run time.
struct Plugin {
    HMODULE Module = nullptr;
    PngplugSetParentWindowFn SetParentWindow = nullptr;
    PngplugDrawFn Draw = nullptr;
    PngplugSetPathFn SetPath = nullptr;
    PngplugSetFileFn SetFile = nullptr;
    PngplugGetFileFn GetFile = nullptr;
    PngplugSetDataFn SetData = nullptr;
    PngplugGetDataFn GetData = nullptr;
    PngplugGetTypeFn GetType = nullptr;
    PngplugGetShortInfoFn GetShortInfo = nullptr;
    PngplugGetInfoFn GetInfo = nullptr;
    PngplugCopyrightFn Copyright = nullptr;
    PngplugSettingsFn Settings = nullptr;
};

LONG WINAPI TerminateOnCrash(EXCEPTION_POINTERS*)
{
    // A crash must show as a failure, never as wine's backtrace and exit 0.
    TerminateProcess(GetCurrentProcess(), 99);
    return EXCEPTION_EXECUTE_HANDLER;
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--clicks") == 0 && i + 1 < argc)
            options.Clicks = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--shots") == 0 && i + 1 < argc)
            options.ShotDir = argv[++i];
        else if (std::strcmp(argv[i], "--film") == 0 && i + 1 < argc)
            options.FilmAfter = std::atoi(argv[++i]);
        else
            return false;
    }
    return options.Clicks <= 1000;
}

// A checkerboard with lines of text, so that whatever shows through a
// picture's transparent parts is plainly the host's own surface.
void PaintBackground(HDC dc, const RECT& area)
{
    HBRUSH light = CreateSolidBrush(RGB(236, 230, 214));
    HBRUSH dark = CreateSolidBrush(RGB(96, 140, 188));
    for (int y = area.top - area.top % kSquare; y < area.bottom; y += kSquare) {
        for (int x = area.left - area.left % kSquare; x < area.right; x += kSquare) {
            RECT square = {x, y, x + kSquare, y + kSquare};
            FillRect(dc, &square, ((x / kSquare + y / kSquare) % 2) ? dark : light);
        }
    }
    DeleteObject(light);
    DeleteObject(dark);

    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(120, 24, 32));
    HFONT font = CreateFontA(22, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Arial");
    HGDIOBJ oldFont = SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(ANSI_VAR_FONT));
    static const char kLine[] = "pngplug host surface - the view shows through";
    for (int y = 8, row = 0; y < kClientHeight; y += 40, ++row)
        TextOutA(dc, 10 + (row % 3) * 30, y, kLine, static_cast<int>(sizeof kLine - 1));
    SelectObject(dc, oldFont);
    if (font)
        DeleteObject(font);
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 1;  // WM_PAINT covers every pixel
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        PaintBackground(dc, paint.rcPaint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

HWND CreateHostWindow(HINSTANCE instance)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassA(&windowClass))
        return nullptr;
    // The view lives in the host's client area, so the host must not paint over it.
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    RECT frame = {0, 0, kClientWidth, kClientHeight};
    AdjustWindowRect(&frame, style, FALSE);
    return CreateWindowExA(0, kClassName, "pngplug host", style, 60, 60, frame.right - frame.left,
                           frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
}

std::string OwnFolder()
{
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

bool LoadPlugin(Plugin& plugin)
{
    std::string path = OwnFolder() + "pngplug.dll";
    plugin.Module = LoadLibraryA(path.c_str());
    if (!plugin.Module) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", path.c_str(), GetLastError());
        return false;
    }
    plugin.SetParentWindow = PNGPLUG_PROC(plugin.Module, SetParentWindow);
    plugin.Draw = PNGPLUG_PROC(plugin.Module, Draw);
    plugin.SetPath = PNGPLUG_PROC(plugin.Module, SetPath);
    plugin.SetFile = PNGPLUG_PROC(plugin.Module, SetFile);
    plugin.GetFile = PNGPLUG_PROC(plugin.Module, GetFile);
    plugin.SetData = PNGPLUG_PROC(plugin.Module, SetData);
    plugin.GetData = PNGPLUG_PROC(plugin.Module, GetData);
    plugin.GetType = PNGPLUG_PROC(plugin.Module, GetType);
    plugin.GetShortInfo = PNGPLUG_PROC(plugin.Module, GetShortInfo);
    plugin.GetInfo = PNGPLUG_PROC(plugin.Module, GetInfo);
    plugin.Copyright = PNGPLUG_PROC(plugin.Module, Copyright);
    plugin.Settings = PNGPLUG_PROC(plugin.Module, Settings);
    if (plugin.SetParentWindow && plugin.Draw && plugin.SetPath && plugin.SetFile && plugin.GetFile &&
        plugin.SetData && plugin.GetData && plugin.GetType && plugin.GetShortInfo && plugin.GetInfo &&
        plugin.Copyright && plugin.Settings)
        return true;
    std::fprintf(stderr, "pngplug.dll lacks one of the twelve exports\n");
    return false;
}

// The documented order: the window first, then the rectangle, then the rest.
void StartPlugin(const Plugin& plugin, HWND host)
{
    plugin.SetParentWindow(host);
    plugin.Draw(0, kViewX, kViewY, kViewWidth, kViewHeight);
    std::string folder = OwnFolder();
    plugin.SetPath(folder.c_str());
    plugin.SetFile("");
    plugin.SetData(host);
    std::string title = std::string("pngplug host - ") + plugin.GetShortInfo();
    SetWindowTextA(host, title.c_str());
}

// The exports that only keep or hand back a value, each asked once; the
// number of answers that are not the ones pngplug.h promises.
int CheckAnswers(const Plugin& plugin, HWND host)
{
    int failures = 0;
    auto expect = [&failures](bool answered, const char* what) {
        if (!answered) {
            std::fprintf(stderr, "unexpected answer: %s\n", what);
            ++failures;
        }
    };
    plugin.SetFile("kbz logo.png");
    const char* file = plugin.GetFile();
    expect(file && std::strcmp(file, "kbz logo.png") == 0, "GetFile gives back what SetFile kept");
    expect(plugin.GetData() == host, "GetData gives back what SetData kept");
    expect(plugin.GetType() == 0, "GetType is 0");
    const char* info = plugin.GetInfo();
    const char* copyright = plugin.Copyright();
    expect(info && info[0] && copyright && copyright[0], "GetInfo and Copyright are texts");
    plugin.Settings();
    return failures;
}

// Dispatches messages until the time is up; false once WM_QUIT arrived.
// Waiting happens in MsgWaitForMultipleObjects, never in Sleep: the plug-in's
// timer thread re-parents the view through this thread's queue.
bool PumpFor(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                return false;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds)
            return true;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    }
}

// The view form once it is a visible child of the host, or null.
HWND WaitForView(HWND host)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kViewTimeoutMs) {
        HWND form = FindWindowExA(host, nullptr, kFormClass, nullptr);
        if (form && IsWindowVisible(form)) {
            PumpFor(kSettleMs);  // the capture and the first paint
            return form;
        }
        if (!PumpFor(10))
            return nullptr;
    }
    return nullptr;
}

void ClickAt(HWND target, int x, int y)
{
    PostMessageA(target, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageA(target, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

// Shots of the host while the picture plays, each with its time from the
// first; false when one could not be written.
bool Film(HWND host, const std::string& dir)
{
    FILE* times = std::fopen((dir + "\\film.txt").c_str(), "w");
    bool saved = times != nullptr;
    const DWORD start = GetTickCount();
    for (int j = 1; saved && GetTickCount() - start < kFilmLengthMs; ++j) {
        const DWORD at = GetTickCount() - start;
        saved = SaveClientShot(host, dir + "\\film-" + std::to_string(j) + ".bmp") &&
                std::fprintf(times, "film-%d.bmp %lu\n", j, static_cast<unsigned long>(at)) > 0;
        PumpFor(kFilmIntervalMs);
    }
    return times && std::fclose(times) == 0 && saved;
}

// Clicks the view, saves a screenshot after each click, asks the other
// exports, then closes down.
int RunScripted(const Plugin& plugin, HWND host, const Options& options)
{
    if (!options.ShotDir.empty())
        CreateDirectoryA(options.ShotDir.c_str(), nullptr);  // fine when it exists already
    HWND form = WaitForView(host);
    int failures = 0;
    if (!form) {
        // Still shoots, for a look at what went wrong, but the run failed.
        std::fprintf(stderr, "the view did not appear; shots show the host alone\n");
        ++failures;
    }
    for (int i = 1; i <= options.Clicks; ++i) {
        if (form)
            ClickAt(form, kViewWidth / 2, kViewHeight / 2);
        PumpFor(kSettleMs);
        if (options.ShotDir.empty())
            continue;
        std::string path = options.ShotDir + "\\shot-" + std::to_string(i) + ".bmp";
        if (!SaveClientShot(host, path)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            ++failures;
        }
        if (i == options.FilmAfter && !Film(host, options.ShotDir)) {
            std::fprintf(stderr, "cannot write the film in %s\n", options.ShotDir.c_str());
            ++failures;
        }
    }
    failures += CheckAnswers(plugin, host);
    DestroyWindow(host);
    while (PumpFor(kSettleMs)) {
    }
    return failures == 0 ? 0 : 1;
}

int RunInteractive()
{
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    SetUnhandledExceptionFilter(TerminateOnCrash);
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: pngplug-host [--clicks N] [--shots DIR [--film K]]\n");
        return 2;
    }
    HWND host = CreateHostWindow(GetModuleHandleA(nullptr));
    if (!host) {
        std::fprintf(stderr, "cannot create the host window\n");
        return 1;
    }
    ShowWindow(host, SW_SHOW);
    UpdateWindow(host);

    Plugin plugin;
    if (!LoadPlugin(plugin)) {
        DestroyWindow(host);
        return 1;
    }
    StartPlugin(plugin, host);
    int status = options.Clicks < 0 ? RunInteractive() : RunScripted(plugin, host, options);
    if (!FreeLibrary(plugin.Module)) {
        std::fprintf(stderr, "FreeLibrary failed (error %lu)\n", GetLastError());
        status = 1;
    }
    return status;
}
