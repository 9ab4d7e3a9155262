#pragma once

// A clock that moves only when paused, by whole ticks of the system's timer: Windows' 15.6 ms
// unless a program asked for finer, or 1 ms.

#include <chrono>

#include "platform/Deadline.h"

constexpr std::chrono::microseconds kWindowsTick{15625};

class TickClock final : public WaitClock {
public:
    explicit TickClock(std::chrono::microseconds tick = kWindowsTick) : tick_(tick) {}
    Clock::time_point Now() const override { return now_; }
    void Pause(std::chrono::milliseconds pause) const override {
        ++pauses_;
        const auto ticks =
            (std::chrono::microseconds(pause) + tick_ - std::chrono::microseconds(1)) / tick_;
        now_ += tick_ * (ticks > 0 ? ticks : 1);
    }
    int Pauses() const { return pauses_; }
    std::chrono::milliseconds Elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(now_.time_since_epoch());
    }

private:
    std::chrono::microseconds tick_;
    mutable Clock::time_point now_{};
    mutable int pauses_ = 0;
};
