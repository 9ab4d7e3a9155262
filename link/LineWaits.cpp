#include "link/LineWaits.h"

#include <algorithm>
#include <utility>

#include "link/EchoRule.h"
#include "link/UploadFrame.h"

namespace {

using Ms = Deadline::Ms;
using TimePoint = WaitClock::Clock::time_point;

// Waits bounded here are poll's or the port's own: the Deadline gives the time left, no pace.
constexpr Ms kNoPace{1};

Ms TransferLimit(std::size_t bytes) {
    return Ms(LineTiming::TransferLimitMs(bytes));
}

} // namespace

EchoReadBounds::EchoReadBounds(std::size_t bytes, const WaitClock& clock)
    : clock_(clock), total_(TransferLimit(bytes), kNoPace, {}, clock) {}

void EchoReadBounds::ByteArrived() {
    interval_.emplace(Ms(LineTiming::kIntervalMs), kNoPace, std::function<bool()>(), clock_);
}

Deadline::Ms EchoReadBounds::Remaining() const {
    const Ms total = total_.Remaining();
    return interval_ ? std::min(total, interval_->Remaining()) : total;
}

Deadline WriteBound(std::size_t bytes, const WaitClock& clock) {
    return Deadline(TransferLimit(bytes), kNoPace, {}, clock);
}

WaitEnd AwaitQuietLine(const QueuedCount& queued, std::optional<TimePoint> lastExchange,
                       std::function<bool()> keepWaiting, const WaitClock& clock) {
    constexpr Ms kLook{10};
    constexpr Ms kQuiet{LineTiming::kIntervalMs};
    const Ms echoTime = TransferLimit(UploadFrame().size());
    const TimePoint start = clock.Now();
    const TimePoint answered = lastExchange ? *lastExchange + echoTime : start;
    const Ms untilAnswered = std::chrono::ceil<Ms>(std::max(start, answered) - start);
    Deadline deadline(untilAnswered + echoTime, kLook, std::move(keepWaiting), clock);
    std::optional<std::size_t> counted;
    TimePoint lastArrival = start;
    return deadline.Until([&] {
        const std::optional<std::size_t> seen = queued();
        if (!seen) {
            return true;
        }
        const TimePoint now = clock.Now();
        if (seen != counted) {
            counted = seen;
            lastArrival = now;
        }
        return now >= answered && now - lastArrival >= kQuiet;
    });
}
