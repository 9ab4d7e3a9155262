// GoogleTest uses a Notification built on std::mutex, which the win32-threads C++ runtime of
// mingw-w64 lacks. Only GoogleTest's own thread tests use it; this one spins on an atomic flag.
#pragma once

#include <atomic>

namespace testing {
namespace internal {

class Notification {
public:
    Notification() = default;
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { notified_.store(true); }
    void WaitForNotification() {
        while (!notified_.load()) {
        }
    }

private:
    std::atomic<bool> notified_{false};
};

} // namespace internal
} // namespace testing
