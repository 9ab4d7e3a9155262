#include "platform/Deadline.h"

#include <algorithm>
#include <utility>

#include "platform/Pause.h"

namespace {

class SystemClock final : public WaitClock {
public:
    Clock::time_point Now() const override { return Clock::now(); }
    void Pause(std::chrono::milliseconds pause) const override { PauseFor(pause); }
};

} // namespace

const WaitClock& SystemWaitClock() {
    static const SystemClock clock;
    return clock;
}

Deadline::Deadline(Ms limit, Ms pace, std::function<bool()> keepWaiting, const WaitClock& clock)
    : clock_(clock), start_(clock.Now()), end_(start_ + std::max(limit, Ms::zero())),
      pace_(std::max(pace, Ms(1))), keepWaiting_(std::move(keepWaiting)) {}

std::optional<WaitEnd> Deadline::Pause() {
    if (keepWaiting_ && !keepWaiting_()) {
        return WaitEnd::kStopped;
    }
    const Ms remaining = Remaining();
    if (remaining == Ms::zero()) {
        return WaitEnd::kTimeUp;
    }
    clock_.Pause(std::min(pace_, remaining));
    return std::nullopt;
}

Deadline::Ms Deadline::Elapsed() const {
    return std::chrono::duration_cast<Ms>(clock_.Now() - start_);
}

Deadline::Ms Deadline::Remaining() const {
    const auto now = clock_.Now();
    return now >= end_ ? Ms::zero() : std::max(Ms(1), std::chrono::duration_cast<Ms>(end_ - now));
}
