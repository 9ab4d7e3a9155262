#pragma once

#include <chrono>
#include <functional>
#include <optional>

// Every bounded wait of the programs (a lock another program holds, a lease, a port that is to
// come back, a line that is to fall quiet, an echo) is one Deadline: measured on a steady clock
// from its start, looked at again every `pace`, and ended sooner by its caller. A count of polls
// would not do: a pause lasts at least what was asked and often longer (on Windows a 10 ms Sleep
// takes a whole 15.6 ms tick), so a wait counted in polls overruns its bound by their sum.

// How a wait ended.
enum class WaitEnd {
    kDone,    // what was waited for came
    kTimeUp,  // the bound passed first
    kStopped, // the caller ended it (a stop signal, an operator)
};

// The clock a wait is measured by and the pause it takes between looks; tests bring their own.
class WaitClock {
public:
    using Clock = std::chrono::steady_clock;

    virtual Clock::time_point Now() const = 0;
    // Pauses for about `pause`; may return sooner (a signal) or later (the system's tick).
    virtual void Pause(std::chrono::milliseconds pause) const = 0;

protected:
    ~WaitClock() = default;
};

// The steady clock and the system's own pause, which a stop signal cuts short on POSIX.
const WaitClock& SystemWaitClock();

class Deadline {
public:
    using Ms = std::chrono::milliseconds;

    // `keepWaiting` is asked at every turn, before the clock: false ends the wait with kStopped.
    Deadline(Ms limit, Ms pace, std::function<bool()> keepWaiting = {},
             const WaitClock& clock = SystemWaitClock());

    // One turn of a wait: how it ended when it has (stopped, or the bound passed); otherwise
    // pauses for the pace, never past the bound, and returns nothing: look again.
    std::optional<WaitEnd> Pause();

    // Looks until `ready()` holds (kDone), pausing between looks; the last look is at the bound.
    template <class Ready> WaitEnd Until(Ready&& ready) {
        for (;;) {
            if (ready()) {
                return WaitEnd::kDone;
            }
            if (const std::optional<WaitEnd> end = Pause()) {
                return *end;
            }
        }
    }

    Ms Elapsed() const;
    Ms Remaining() const;
    bool Passed() const { return Remaining() == Ms::zero(); }

private:
    const WaitClock& clock_;
    WaitClock::Clock::time_point start_;
    WaitClock::Clock::time_point end_;
    Ms pace_;
    std::function<bool()> keepWaiting_;
};
