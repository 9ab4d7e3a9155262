#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "link/EchoRule.h"
#include "link/LineWaits.h"
#include "link/UploadFrame.h"

namespace {

using Ms = Deadline::Ms;

const Ms kEchoTime(LineTiming::TransferLimitMs(UploadFrame().size()));
const Ms kInterval(LineTiming::kIntervalMs);

// Time that passes only as the code under test pauses, by at least one tick of the system's timer.
class StepClock final : public WaitClock {
public:
    explicit StepClock(Ms tick = Ms(1)) : tick_(tick) {}
    Clock::time_point Now() const override { return now_; }
    void Pause(Ms pause) const override { now_ += std::max(pause, tick_); }
    void Advance(Ms span) { now_ += span; }
    Ms Since(Clock::time_point start) const { return std::chrono::duration_cast<Ms>(now_ - start); }

private:
    Ms tick_;
    mutable Clock::time_point now_{std::chrono::hours(1)};
};

// Bytes of the last controller arriving at the given times from the start of the wait, every
// `every` after the last of them when set (a line that never falls quiet); nothing counted when
// the port cannot tell.
struct Line {
    std::vector<Ms> arrivals;
    std::optional<Ms> every;
    bool told = true;
};

TEST(QuietLine, WaitsForTheAnswerAndThenForAPauseAsLongAsAnEchosOwn) {
    const Ms exchangedNow(0);
    const Ms exchangedLongAgo(-10 * kEchoTime);
    const struct Case {
        const char* what;
        std::optional<Ms> lastExchange; // from the start of the wait
        Line line;
        WaitEnd end;
        Ms after; // from the start of the wait
    } cases[] = {
        {"no exchange yet, a silent line", std::nullopt, {}, WaitEnd::kDone, kInterval},
        {"long after the exchange", exchangedLongAgo, {}, WaitEnd::kDone, kInterval},
        {"right after the exchange: the answer's time",
         exchangedNow,
         {},
         WaitEnd::kDone,
         kEchoTime},
        {"the line speaks again during the wait",
         exchangedLongAgo,
         {{Ms(30), Ms(120)}, std::nullopt},
         WaitEnd::kDone,
         Ms(120) + kInterval},
        {"it speaks just before the answer is due",
         exchangedNow,
         {{kEchoTime - Ms(40)}, std::nullopt},
         WaitEnd::kDone,
         kEchoTime - Ms(40) + kInterval},
        {"it never falls quiet",
         exchangedNow,
         {{}, kInterval / 2},
         WaitEnd::kTimeUp,
         2 * kEchoTime},
        {"the port cannot tell", exchangedNow, {{}, std::nullopt, false}, WaitEnd::kDone, Ms(0)},
    };
    for (const Ms tick : {Ms(1), Ms(16)}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            StepClock clock(tick);
            const auto start = clock.Now();
            const auto queued = [&]() -> std::optional<std::size_t> {
                if (!c.line.told) {
                    return std::nullopt;
                }
                const Ms now = clock.Since(start);
                std::size_t count = std::count_if(c.line.arrivals.begin(), c.line.arrivals.end(),
                                                  [&](Ms at) { return at <= now; });
                if (c.line.every) {
                    count += static_cast<std::size_t>(now / *c.line.every);
                }
                return count;
            };
            std::optional<WaitClock::Clock::time_point> lastExchange;
            if (c.lastExchange) {
                lastExchange = start + *c.lastExchange;
            }
            EXPECT_EQ(AwaitQuietLine(queued, lastExchange, {}, clock), c.end);
            // A look every 10 ms, or every tick where the system's pause lasts longer: a byte is
            // seen at the next look, and the pause after it ends at a look.
            EXPECT_GE(clock.Since(start), c.after);
            EXPECT_LE(clock.Since(start), c.after + 2 * std::max(Ms(10), tick)) << tick.count();
        }
    }
}

TEST(QuietLine, AStopEndsTheWaitAtOnce) {
    StepClock clock;
    const auto start = clock.Now();
    int looks = 0;
    EXPECT_EQ(AwaitQuietLine([&] { return std::optional<std::size_t>(++looks); }, start,
                             [&] { return looks < 3; }, clock),
              WaitEnd::kStopped);
    EXPECT_EQ(looks, 3);
}

// A read of an echo as poll runs it: it waits what the bounds leave for the next byte, which
// comes at its time or not in that wait. The bytes read and when the read ended.
std::pair<std::size_t, Ms> Read(const std::vector<Ms>& arrivals) {
    StepClock clock;
    const auto start = clock.Now();
    EchoReadBounds bounds(UploadFrame().size(), clock);
    std::size_t received = 0;
    while (received < UploadFrame().size()) {
        const Ms left = bounds.Remaining();
        const Ms next =
            received < arrivals.size() ? arrivals[received] - clock.Since(start) : Ms::max();
        if (left == Ms(0) || next > left) {
            clock.Advance(left);
            break;
        }
        clock.Advance(next);
        bounds.ByteArrived();
        ++received;
    }
    return {received, clock.Since(start)};
}

TEST(EchoReadBounds, EndAtTheTotalOrWhenTheLinePausesLongerThanTheInterval) {
    const auto evenly = [](Ms first, Ms gap, std::size_t count) {
        std::vector<Ms> times;
        for (std::size_t i = 0; i < count; ++i) {
            times.push_back(first + gap * static_cast<int>(i));
        }
        return times;
    };
    const std::size_t all = UploadFrame().size();
    std::vector<Ms> pausedAt10 = evenly(Ms(5), Ms(2), all);
    for (std::size_t i = 10; i < all; ++i) {
        pausedAt10[i] += kInterval + Ms(1);
    }
    const struct Case {
        const char* what;
        std::vector<Ms> arrivals;
        std::size_t received;
        Ms end;
    } cases[] = {
        {"the whole echo at once", evenly(Ms(5), Ms(2), all), all, Ms(5 + 2 * 18)},
        {"silence", {}, 0, kEchoTime},
        {"a pause longer than the interval", pausedAt10, 10, Ms(5 + 2 * 9) + kInterval},
        {"bytes slower than the total allows, each within the interval",
         evenly(kInterval - Ms(10), kInterval - Ms(10), all),
         static_cast<std::size_t>(kEchoTime / (kInterval - Ms(10))), kEchoTime},
        {"a late first byte: the total ends it before the interval would",
         {kEchoTime - Ms(20), kEchoTime + Ms(30)},
         1,
         kEchoTime},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Read(c.arrivals), std::make_pair(c.received, c.end));
    }
}

} // namespace
