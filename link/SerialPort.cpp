#include "link/SerialPort.h"

#include <algorithm>
#include <thread>

#include "platform/StopSignals.h"

void SerialPort::AwaitQuietLine() const {
    using std::chrono::milliseconds;
    constexpr milliseconds kLook{10};
    constexpr milliseconds kPause{LineTiming::kIntervalMs};
    const milliseconds echoTime(LineTiming::TransferLimitMs(UploadFrame{}.size()));
    const Clock::time_point start = Clock::now();
    const Clock::time_point answered = lastExchange_ ? *lastExchange_ + echoTime : start;
    const Clock::time_point deadline = std::max(start, answered) + echoTime;
    std::optional<std::size_t> queued = QueuedInput(handle_.get());
    Clock::time_point lastArrival = start;
    for (Clock::time_point now = start; queued && now < deadline && !CaughtStopSignal();
         now = Clock::now()) {
        if (now >= answered && now - lastArrival >= kPause) {
            return;
        }
        std::this_thread::sleep_for(kLook);
        const std::optional<std::size_t> seen = QueuedInput(handle_.get());
        if (seen != queued) {
            queued = seen;
            lastArrival = Clock::now();
        }
    }
}
