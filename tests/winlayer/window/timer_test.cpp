// The multimedia timer: one platform timer however often it is enabled,
// ticks on the timer thread, and silence once it is stopped or destroyed.
#include <atomic>

#include "tests/winlayer/window/layer_fixture.h"

namespace {

std::atomic<int> ticks{0};
std::atomic<DWORD> tickThread{0};

void CountTick(void*, MultimediaTimer*)
{
    tickThread = GetCurrentThreadId();
    ++ticks;
}

// What the view's re-parenting tick does first: stop its own timer.
void StopOnFirstTick(void*, MultimediaTimer* timer)
{
    ++ticks;
    timer->SetEnabled(false);
}

class TimerTest : public LayerTest {
protected:
    void SetUp() override
    {
        LayerTest::SetUp();
        ticks = 0;
        tickThread = 0;
    }
};

TEST_F(TimerTest, TicksOnAnotherThreadUntilDisabled)
{
    MultimediaTimer* timer = CreateMultimediaTimer(10);
    timer->TimerEvent = {CountTick, nullptr};
    EXPECT_EQ(timer->TimerHandle.load(), 0u);
    timer->SetEnabled(true);
    EXPECT_NE(timer->TimerHandle.load(), 0u);
    EXPECT_TRUE(PumpUntil([] { return ticks >= 3; }, 2000)) << "periodic: several ticks";
    EXPECT_NE(tickThread.load(), 0u);
    EXPECT_NE(tickThread.load(), GetCurrentThreadId());

    timer->SetEnabled(false);
    EXPECT_EQ(timer->TimerHandle.load(), 0u);
    int stoppedAt = ticks;
    PumpFor(100);
    EXPECT_EQ(ticks, stoppedAt);
    Release(timer);
}

TEST_F(TimerTest, EnablingTwiceStartsOnePlatformTimerAndDisablingTwiceStopsIt)
{
    MultimediaTimer* timer = CreateMultimediaTimer(10);
    timer->TimerEvent = {CountTick, nullptr};
    timer->SetEnabled(true);
    uint32_t first = timer->TimerHandle;
    timer->SetEnabled(true);
    EXPECT_EQ(timer->TimerHandle.load(), first);
    EXPECT_TRUE(timer->Enabled);

    // Had the second call started a timer of its own, one would still run.
    timer->SetEnabled(false);
    timer->SetEnabled(false);
    EXPECT_FALSE(timer->Enabled);
    EXPECT_EQ(timer->TimerHandle.load(), 0u);
    int stoppedAt = ticks;
    PumpFor(100);
    EXPECT_EQ(ticks, stoppedAt);
    // The old identifier is gone from the platform as well.
    EXPECT_NE(timeKillEvent(first), static_cast<MMRESULT>(TIMERR_NOERROR));
    Release(timer);
}

TEST_F(TimerTest, ATickThatStopsItsTimerRunsOnce)
{
    MultimediaTimer* timer = CreateMultimediaTimer(10);
    timer->TimerEvent = {StopOnFirstTick, nullptr};
    timer->SetEnabled(true);
    EXPECT_TRUE(PumpUntil([] { return ticks >= 1; }, 2000));
    PumpFor(100);
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(timer->TimerHandle.load(), 0u);
    Release(timer);
}

TEST_F(TimerTest, DestroyingARunningTimerStopsItsTicks)
{
    MultimediaTimer* timer = CreateMultimediaTimer(5);
    timer->TimerEvent = {CountTick, nullptr};
    timer->SetEnabled(true);
    EXPECT_TRUE(PumpUntil([] { return ticks >= 1; }, 2000));
    Release(timer);
    int stoppedAt = ticks;
    PumpFor(100);
    EXPECT_EQ(ticks, stoppedAt);
}

}  // namespace
