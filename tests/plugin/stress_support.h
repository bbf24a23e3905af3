// What the stress tests share: a folder of hostile picture files, repaint
// storms, hostile view rectangles, the view's expected pixels, and counts of
// everything the plug-in could leak (objects, GDI objects, windows).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>

#include "tests/plugin/stress_files.h"
#include "tests/plugin/view_support.h"
#include "winlayer/gdi/gdi_count.h"

// The fixed seed keeps every run the same; failures name it with the round.
constexpr uint32_t kStressSeed = 20240611;

// A flood file of 264 MB must cost a click no more than this.
constexpr uint64_t kFloodBytes = uint64_t{264} << 20;
constexpr DWORD kFloodClickMs = 5000;

// The six valid samples in the current folder, the one of the given index
// behind a flood of kFloodBytes; false when a write failed.
bool PlaceSamplesWithFlood(int floodIndex);

// Dispatches until the queue has stayed empty for a moment (or the time is
// up), so that every paint a move, an uncovering or an invalidation brings
// has been done.
void Settle(DWORD maxMs = 600);

// Processes what is queued for this thread up to now: posts a marker to the
// window and dispatches until the marker comes back (posted messages keep
// their order). For a plug-in whose state cannot be read, as in the DLL.
bool DispatchQueued(HWND window);

// Dispatches everything else until the message for the window is next, and
// takes it out of the queue undispatched.
bool TakeMessage(HWND window, UINT message, MSG& taken);

// A plain window put over the host and taken away again.
class CoverWindow {
public:
    CoverWindow();
    ~CoverWindow();
    void CoverAt(int x, int y, int width, int height);
    void Uncover();

private:
    HWND handle = nullptr;
};

// Invalidations, updates and redraws of the host (children included), the
// cover window put over the view and taken off, many times.
void RepaintStorm(HWND host, CoverWindow& cover, std::minstd_rand& random);

// A rectangle for Draw that a careless host might send: moved, empty,
// negative, far larger than the host, partly outside it.
ViewBox HostileBox(std::minstd_rand& random);

// Every window of this thread, children included.
int ThreadWindowCount();

// The six file names in a folder of their own, filled with hostile files
// and refilled between rounds.
class StressFolder {
public:
    explicit StressFolder(const char* folder);
    // Refills every name with a random file; false when a write failed.
    bool Refill(std::minstd_rand& random);
    // The process's current folder, where the view reads its files.
    bool Enter();
    bool Leave() const;
    const StressFile& File(int index) const { return files[index]; }

private:
    std::string name;
    char previous[MAX_PATH] = {};
    std::array<StressFile, 6> files;
};

// What the view at kViewBox must show after the file was loaded, over a
// background captured at the given box; Anything needs no check.
testing::AssertionResult ViewShows(HWND host, const StressFile& file, ViewBox captured);
// The valid sample of the given index, over that background.
testing::AssertionResult ViewShowsSample(HWND host, int source, ViewBox captured);

// Live counts of everything the plug-in's code creates through the project's
// wrappers, and the windows of this thread.
struct LiveCounts {
    int32_t Objects = 0;
    GdiCounts Gdi;
    int32_t Windows = 0;
};
LiveCounts CountLive();
// What one picture object holding the file costs: made, loaded and measured
// here and released again. A null name gives the empty picture.
LiveCounts PictureCost(const char* fileName);
LiveCounts operator-(const LiveCounts& a, const LiveCounts& b);
LiveCounts operator+(const LiveCounts& a, const LiveCounts& b);
testing::AssertionResult SameCounts(const LiveCounts& actual, const LiveCounts& expected);
