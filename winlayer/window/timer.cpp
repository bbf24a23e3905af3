#include "winlayer/window/timer.h"

#include <mmsystem.h>

#include "winlayer/base/barrier.h"

namespace {

// Runs on the timer service's thread. Nothing of the timer is touched after
// the event: the event may release it.
void CALLBACK Tick(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
{
    Guarded([user] {
        auto* timer = reinterpret_cast<MultimediaTimer*>(user);
        if (timer->TimerEvent)
            timer->TimerEvent(timer);
    });
}

}  // namespace

void MultimediaTimer::SetEnabled(bool value)
{
    bool running = TimerHandle.load() != 0;
    if (running != value) {
        if (value) {
            // Synchronous kill: once timeKillEvent returns no tick is running
            // or pending, so a destroyed timer is never reached by a late tick.
            UINT flags = (Periodic ? TIME_PERIODIC : TIME_ONESHOT) | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS;
            TimerHandle = timeSetEvent(Interval, Resolution, Tick, reinterpret_cast<DWORD_PTR>(this), flags);
        } else {
            // A tick may stop the timer while the owning thread does too:
            // only the one that takes the identifier kills it.
            uint32_t id = TimerHandle.exchange(0);
            if (id)
                timeKillEvent(id);
        }
    }
    Enabled = value;
}

void MultimediaTimer::Destroy()
{
    SetEnabled(false);
    Obj::Destroy();
}

MultimediaTimer* CreateMultimediaTimer(uint32_t interval)
{
    auto* timer = Create<MultimediaTimer>();
    if (!timer)
        return nullptr;
    timer->Interval = interval;
    timer->Periodic = true;
    return timer;
}
