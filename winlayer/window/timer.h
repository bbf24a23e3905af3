// A multimedia timer: its TimerEvent runs on the platform's timer thread,
// not on the thread that owns the windows.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "winlayer/base/obj.h"

class MultimediaTimer : public Obj {
public:
    // The platform timer identifier, 0 while not running. Written by whichever
    // thread starts or stops the timer (a tick may stop it).
    std::atomic<uint32_t> TimerHandle{0};
    bool Enabled = false;  // the last value given to SetEnabled
    uint32_t Interval = 0;  // milliseconds between ticks
    // Called on every tick, on the timer thread, with the timer as sender.
    Event<void(MultimediaTimer*)> TimerEvent;
    uint32_t Resolution = 0;  // 0: the best the platform offers
    bool Periodic = true;

    // Slot 1: stops the timer; no tick runs once it returns.
    void Destroy() override;
    // Slot 2: starts or stops the platform timer when its state differs from value.
    virtual void SetEnabled(bool value);

protected:
    ~MultimediaTimer() override = default;
};

// Not running until SetEnabled(true).
MultimediaTimer* CreateMultimediaTimer(uint32_t interval);
