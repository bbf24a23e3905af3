// Playing an animated picture in the view: a timer of the form's own window,
// so that every frame is decoded and drawn on the host's user-interface
// thread, and nothing can tick once the window or the library is gone.
#include <windows.h>

#include <mmsystem.h>

#include <algorithm>

#include "plugin/view_internal.h"
#include "png/animation/animation.h"
#include "png/image.h"
#include "winlayer/winlayer.h"

namespace {

// No file can make the view draw more often than this.
constexpr uint32_t kShortestDelayMs = 10;
// Frames caught up in one tick when the host fell behind: the rest follow
// at the next tick, after the host's own messages.
constexpr int kMostFramesATick = 4;

struct Playback {
    PngAnimation* Animation = nullptr;
    HWND Window = nullptr;
    // Frame times count from Start (timeGetTime), so that delays never add
    // up to a drift; Due is when the frame after the shown one is due.
    DWORD Start = 0;
    uint64_t Due = 0;
    bool Ticking = false;
    bool Paused = false;
    DWORD PausedAt = 0;
};

Playback Play;

uint32_t DelayOf(const FrameControl& frame)
{
    const double ms = frame.DelayMilliseconds();
    return ms < kShortestDelayMs ? kShortestDelayMs : static_cast<uint32_t>(std::min(ms, 1e9));
}

void StopTimer()
{
    if (Play.Ticking && Play.Window)
        KillTimer(Play.Window, kFrameTimer);
    Play.Ticking = false;
}

// Sets the timer for the next frame, or stops it where none comes.
void Schedule(DWORD now)
{
    const uint64_t elapsed = now - Play.Start;
    const uint64_t wait = Play.Due > elapsed ? Play.Due - elapsed : 0;
    Play.Ticking = SetTimer(Play.Window, kFrameTimer, static_cast<UINT>(std::max<uint64_t>(wait, 1)), nullptr) != 0;
}

// The play ends on its last frame once the file's plays are done, and on
// the last good frame when one cannot be decoded.
bool AdvanceFrame()
{
    PngAnimation& a = *Play.Animation;
    if ((a.LastFrameOfPlay() && a.LastPlay()) || !a.NextFrame())
        return false;
    Play.Due += DelayOf(a.Current);
    return true;
}

void Tick(Control* form)
{
    if (!IsWindowVisible(Play.Window)) {
        StopTimer();
        Play.Paused = true;
        Play.PausedAt = timeGetTime();
        return;
    }
    const DWORD now = timeGetTime();
    bool moved = false, going = true;
    for (int n = 0; going && n < kMostFramesATick && now - Play.Start >= Play.Due; ++n) {
        going = AdvanceFrame();
        moved |= going;
    }
    // The paint draws the background and the new frame, as for any repaint.
    if (moved)
        InvalidateRect(form->Window, nullptr, FALSE);
    if (going)
        Schedule(now);
    else
        StopTimer();
}

}  // namespace

void StartAnimation(Control* form, const char* fileName)
{
    StopAnimation();
    PngAnimation* animation = OpenAnimation(fileName);
    if (!animation || animation->Refusal || !form->Window) {
        Release(animation);
        return;
    }
    Play.Animation = animation;
    Play.Window = form->Window;
    Play.Start = timeGetTime();
    Play.Due = DelayOf(animation->Current);
    // A single frame played once has nothing to wait for.
    if (!(animation->LastFrameOfPlay() && animation->LastPlay()))
        Schedule(Play.Start);
}

void StopAnimation()
{
    StopTimer();
    Release(Play.Animation);
    Play = Playback{};
}

PngImage* AnimationCanvas() { return Play.Animation ? Play.Animation->Canvas : nullptr; }

const PngAnimation* PlayingAnimation() { return Play.Animation; }

void ResumeAnimation()
{
    if (!Play.Animation || !Play.Paused)
        return;
    // The time hidden does not count.
    const DWORD now = timeGetTime();
    Play.Start += now - Play.PausedAt;
    Play.Paused = false;
    Schedule(now);
}

bool AnimationTimerHandler(Control* form, MSG* message, LRESULT* result)
{
    if (message->message != WM_TIMER || message->wParam != kFrameTimer || message->hwnd != form->Window)
        return false;
    // A torn-down view stopped its play first; a stray tick finds no play.
    if (Play.Animation && Play.Ticking && form->Window == Play.Window && !form->WindowDestroyed)
        Tick(form);
    else
        KillTimer(message->hwnd, kFrameTimer);
    *result = 0;
    return true;
}
