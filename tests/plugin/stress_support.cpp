#include "tests/plugin/stress_support.h"

#include <climits>

#include "plugin/view.h"
#include "png/animation/animation.h"
#include "png/image.h"
#include "winlayer/base/obj.h"

namespace {

constexpr char kCoverClass[] = "StressCover";
constexpr DWORD kQuietMs = 40;
constexpr UINT kMarkerMessage = WM_APP + 0x3A5;
constexpr int kStormSteps = 12;

// Dispatches what is waiting without waiting; true when there was anything.
bool DispatchWaiting()
{
    bool any = false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        any = true;
        if (message.message == WM_QUIT) {
            ++QuitMessagesSeen;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return any;
}

BOOL CALLBACK CountChild(HWND, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    EnumChildWindows(window, CountChild, count);
    return TRUE;
}

const OraclePicture& SampleOracle(int source)
{
    static std::array<OraclePicture, kImageFiles.size()> oracles;
    OraclePicture& picture = oracles[source];
    if (picture.Width == 0)
        DecodeWithOracle(ProgramFolder() + kImageFiles[source], picture);
    return picture;
}

Pixels ViewOnScreen(HWND host) { return ReadClient(host, kViewBox.X, kViewBox.Y, kViewBox.Width, kViewBox.Height); }

}  // namespace

void Settle(DWORD maxMs)
{
    const DWORD start = GetTickCount();
    DWORD quietSince = start;
    for (;;) {
        const bool any = DispatchWaiting();
        const DWORD now = GetTickCount();
        if (any)
            quietSince = now;
        if (now - quietSince >= kQuietMs || now - start >= maxMs)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

bool DispatchQueued(HWND window)
{
    MSG marker;
    return PostMessageA(window, kMarkerMessage, 0, 0) && TakeMessage(window, kMarkerMessage, marker);
}

bool TakeMessage(HWND window, UINT wanted, MSG& taken)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 3000) {
        if (!PeekMessageA(&taken, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            continue;
        }
        if (taken.message == wanted && taken.hwnd == window)
            return true;
        if (taken.message == WM_QUIT) {
            ++QuitMessagesSeen;
            continue;
        }
        TranslateMessage(&taken);
        DispatchMessageA(&taken);
    }
    return false;
}

CoverWindow::CoverWindow()
{
    WNDCLASSA windowClass{};
    if (!GetClassInfoA(GetModuleHandleA(nullptr), kCoverClass, &windowClass)) {
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        windowClass.lpszClassName = kCoverClass;
        RegisterClassA(&windowClass);
    }
    handle = CreateWindowExA(WS_EX_TOPMOST | WS_EX_NOACTIVATE, kCoverClass, "cover", WS_POPUP, 0, 0, 10, 10, nullptr,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
}

CoverWindow::~CoverWindow()
{
    if (handle)
        DestroyWindow(handle);
}

void CoverWindow::CoverAt(int x, int y, int width, int height)
{
    SetWindowPos(handle, HWND_TOPMOST, x, y, width, height, SWP_SHOWWINDOW | SWP_NOACTIVATE);
    UpdateWindow(handle);
}

void CoverWindow::Uncover() { ShowWindow(handle, SW_HIDE); }

void RepaintStorm(HWND host, CoverWindow& cover, std::minstd_rand& random)
{
    for (int step = 0; step < kStormSteps; ++step) {
        const int x = static_cast<int>(random() % 400), y = static_cast<int>(random() % 300);
        const RECT part{x, y, x + 1 + static_cast<int>(random() % 300), y + 1 + static_cast<int>(random() % 200)};
        switch (random() % 5) {
        case 0:
            InvalidateRect(host, nullptr, TRUE);
            UpdateWindow(host);
            break;
        case 1: RedrawWindow(host, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW); break;
        case 2: RedrawWindow(host, &part, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN); break;
        case 3: InvalidateRect(host, &part, FALSE); break;
        default:
            cover.CoverAt(part.left, part.top, part.right - part.left, part.bottom - part.top);
            DispatchWaiting();
            cover.Uncover();
            break;
        }
        DispatchWaiting();
    }
    cover.Uncover();
}

ViewBox HostileBox(std::minstd_rand& random)
{
    const int x = static_cast<int>(random() % 81), y = static_cast<int>(random() % 81);
    switch (random() % 8) {
    case 0: return {x, y, kViewBox.Width, kViewBox.Height};
    case 1: return {x, y, 0, kViewBox.Height};
    case 2: return {x, y, kViewBox.Width, 0};
    case 3: return {x, y, 0, 0};
    case 4: return {x, y, -1 - static_cast<int>(random() % 1000), -1 - static_cast<int>(random() % 1000)};
    case 5: return {-x - 100, -y - 100, 4000, 3000};
    case 6: return {500 + x, 400 + y, kViewBox.Width, kViewBox.Height};
    default: return {INT_MIN / 2, INT_MAX / 2, 1, 1};
    }
}

int ThreadWindowCount()
{
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountTopLevel, reinterpret_cast<LPARAM>(&count));
    return count;
}

StressFolder::StressFolder(const char* folder)
{
    // By full name: it is refilled while it is the current folder.
    char full[MAX_PATH] = {};
    GetFullPathNameA(folder, MAX_PATH, full, nullptr);
    name = full;
    CreateDirectoryA(name.c_str(), nullptr);
}

bool StressFolder::Refill(std::minstd_rand& random)
{
    bool written = true;
    for (size_t i = 0; i < files.size(); ++i) {
        files[i] = RandomStressFile(random);
        written = PlaceStressFile(name + "\\" + kImageFiles[i], files[i]) && written;
    }
    return written;
}

bool StressFolder::Enter()
{
    return GetCurrentDirectoryA(MAX_PATH, previous) && SetCurrentDirectoryA(name.c_str());
}

bool StressFolder::Leave() const { return SetCurrentDirectoryA(previous); }

testing::AssertionResult ViewShows(HWND host, const StressFile& file, ViewBox captured)
{
    if (file.Expect == Shows::Anything)
        return testing::AssertionSuccess();
    const Pixels background = HostPixelsUnderView(captured);
    if (file.Expect == Shows::HostAlone)
        return SamePixels(ViewOnScreen(host), background);
    return ShowsPicture(ViewOnScreen(host), background, SampleOracle(file.Source));
}

testing::AssertionResult ViewShowsSample(HWND host, int source, ViewBox captured)
{
    return ShowsPicture(ViewOnScreen(host), HostPixelsUnderView(captured), SampleOracle(source));
}

bool PlaceSamplesWithFlood(int floodIndex)
{
    bool written = true;
    std::minstd_rand unused;
    for (int i = 0; i < 6; ++i)
        written = (i == floodIndex ? PlaceFloodFile(kImageFiles[i], i, kFloodBytes)
                                   : PlaceStressFile(kImageFiles[i], MakeStressFile(Variant::Valid, i, unused))) &&
                  written;
    return written;
}

// What the last freed picture left for the next one (its section and alpha
// plane) is no leak: it goes first, so that only what is held is counted.
LiveCounts CountLive()
{
    DropSparePixelMemory();
    return {Obj::LiveCount(), GdiLiveCounts(), ThreadWindowCount()};
}

// The picture, and its animation where the view plays one.
LiveCounts PictureCost(const char* fileName)
{
    const LiveCounts before = CountLive();
    PngImage* image = Create<PngImage>();
    PngAnimation* animation = fileName && image->LoadFromFile(fileName) ? OpenAnimation(fileName) : nullptr;
    if (animation && animation->Refusal) {
        Release(animation);
        animation = nullptr;
    }
    const LiveCounts cost = CountLive() - before;
    Release(animation);
    Release(image);
    return cost;
}

LiveCounts operator-(const LiveCounts& a, const LiveCounts& b)
{
    const GdiCounts& x = a.Gdi;
    const GdiCounts& y = b.Gdi;
    return {a.Objects - b.Objects,
            {x.DCs - y.DCs, x.WindowDCs - y.WindowDCs, x.Bitmaps - y.Bitmaps, x.Brushes - y.Brushes,
             x.Regions - y.Regions, x.Others - y.Others},
            a.Windows - b.Windows};
}

LiveCounts operator+(const LiveCounts& a, const LiveCounts& b)
{
    const LiveCounts zero;
    return a - (zero - b);
}

testing::AssertionResult SameCounts(const LiveCounts& actual, const LiveCounts& expected)
{
    const LiveCounts d = actual - expected;
    const GdiCounts& g = d.Gdi;
    if (d.Objects == 0 && g.Total() == 0 && g.DCs == 0 && g.WindowDCs == 0 && g.Bitmaps == 0 && g.Brushes == 0 &&
        g.Regions == 0 && d.Windows == 0)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "more than expected: " << d.Objects << " objects, " << g.DCs << " DCs, "
                                       << g.WindowDCs << " window DCs, " << g.Bitmaps << " bitmaps, " << g.Brushes
                                       << " brushes, " << g.Regions << " regions, " << g.Others << " other GDI, "
                                       << d.Windows << " windows";
}
