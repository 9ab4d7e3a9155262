#include "link/SerialPort.h"

#include <chrono>
#include <thread>

#include "platform/StopSignals.h"

void SerialPort::AwaitQuietLine() const {
    using Clock = std::chrono::steady_clock;
    constexpr std::chrono::milliseconds kLook{10};
    constexpr std::chrono::milliseconds kQuiet{LineTiming::kIntervalMs};
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(LineTiming::TransferLimitMs(UploadFrame{}.size()));
    std::optional<std::size_t> queued = QueuedInput(handle_.get());
    Clock::time_point lastArrival = Clock::now();
    while (queued && Clock::now() - lastArrival < kQuiet && Clock::now() < deadline &&
           !CaughtStopSignal()) {
        std::this_thread::sleep_for(kLook);
        const std::optional<std::size_t> now = QueuedInput(handle_.get());
        if (now != queued) {
            queued = now;
            lastArrival = Clock::now();
        }
    }
}
