// gtest's Notification for the win32 thread model, whose run-time (GCC 12)
// has no std::mutex or std::condition_variable: gtest only uses it to start
// the threads of its own thread tests, so a flag the waiter spins on does.
// Included ahead of every file that sees gtest (GTEST_HAS_NOTIFICATION_ then
// keeps gtest's own version out).
#pragma once
#ifdef __cplusplus
#include <atomic>

namespace testing::internal {

class Notification {
public:
    Notification() = default;
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { notified.store(true, std::memory_order_release); }
    void WaitForNotification()
    {
        while (!notified.load(std::memory_order_acquire)) {
        }
    }

private:
    std::atomic<bool> notified{false};
};

}  // namespace testing::internal
#endif
