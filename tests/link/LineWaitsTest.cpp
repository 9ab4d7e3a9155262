#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "link/EchoRule.h"
#include "link/LineWaits.h"
#include "link/UploadFrame.h"

namespace {

using Ms = Deadline::Ms;
using Count = std::optional<std::size_t>;

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

// Times are from the start of the wait: the last exchange's, the last controller's bytes (and one
// every `every` when not zero: a line that never falls quiet), and the end of the wait.
TEST(QuietLine, WaitsForTheAnswerAndThenForAPauseAsLongAsAnEchosOwn) {
    const std::optional<Ms> none, now = Ms(0), longAgo = -10 * kEchoTime;
    const Ms soon = kEchoTime - Ms(40);
    const struct Case {
        const char* what;
        std::optional<Ms> exchanged;
        std::vector<Ms> arrivals;
        Ms every;
        WaitEnd end;
        Ms at;
    } cases[] = {
        {"no exchange yet, a silent line", none, {}, Ms(0), WaitEnd::kDone, kInterval},
        {"long after the exchange", longAgo, {}, Ms(0), WaitEnd::kDone, kInterval},
        {"right after it: the answer's time", now, {}, Ms(0), WaitEnd::kDone, kEchoTime},
        {"it speaks during the wait",
         longAgo,
         {Ms(30), Ms(120)},
         Ms(0),
         WaitEnd::kDone,
         Ms(120) + kInterval},
        {"it speaks as the answer is due", now, {soon}, Ms(0), WaitEnd::kDone, soon + kInterval},
        {"it never falls quiet", now, {}, kInterval / 2, WaitEnd::kTimeUp, 2 * kEchoTime},
    };
    for (const Ms tick : {Ms(1), Ms(16)}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            StepClock clock(tick);
            const auto start = clock.Now();
            const auto queued = [&] {
                const Ms since = clock.Since(start);
                const auto come = std::count_if(c.arrivals.begin(), c.arrivals.end(),
                                                [&](Ms at) { return at <= since; });
                return Count(come + (c.every > Ms(0) ? since / c.every : 0));
            };
            const auto exchanged = c.exchanged ? std::optional(start + *c.exchanged) : std::nullopt;
            EXPECT_EQ(AwaitQuietLine(queued, exchanged, {}, clock), c.end);
            // A look every 10 ms, or every tick where the system's pause lasts longer: a byte is
            // seen at the next look, and the pause after it ends at a look.
            EXPECT_GE(clock.Since(start), c.at);
            EXPECT_LE(clock.Since(start), c.at + 2 * std::max(Ms(10), tick)) << tick.count();
        }
    }
}

TEST(QuietLine, AStopOrAPortThatCannotTellEndsTheWaitAtOnce) {
    StepClock clock;
    const auto start = clock.Now();
    int looks = 0;
    EXPECT_EQ(
        AwaitQuietLine([&] { return Count(++looks); }, start, [&] { return looks < 3; }, clock),
        WaitEnd::kStopped);
    EXPECT_EQ(looks, 3);
    const Ms stopped = clock.Since(start);
    EXPECT_EQ(AwaitQuietLine([] { return Count(); }, clock.Now(), {}, clock), WaitEnd::kDone);
    EXPECT_EQ(stopped, clock.Since(start));
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

// A byte every `gap`, with `pause` more before the eleventh.
std::vector<Ms> Bytes(Ms gap, Ms pause = Ms(0)) {
    std::vector<Ms> times;
    for (int i = 1; i <= static_cast<int>(UploadFrame().size()); ++i) {
        times.push_back(gap * i + (i > 10 ? pause : Ms(0)));
    }
    return times;
}

TEST(EchoReadBounds, EndAtTheTotalOrWhenTheLinePausesLongerThanTheInterval) {
    const Ms slow = kInterval - Ms(10);
    const struct Case {
        const char* what;
        std::vector<Ms> arrivals;
        std::size_t received;
        Ms end;
    } cases[] = {
        {"the whole echo", Bytes(Ms(2)), UploadFrame().size(), Ms(2 * 19)},
        {"silence", {}, 0, kEchoTime},
        {"a pause longer than the interval", Bytes(Ms(2), kInterval), 10, Ms(20) + kInterval},
        {"bytes within the interval, slower than the total allows", Bytes(slow),
         static_cast<std::size_t>(kEchoTime / slow), kEchoTime},
        {"a late first byte", {kEchoTime - Ms(20), kEchoTime + Ms(30)}, 1, kEchoTime},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Read(c.arrivals), std::make_pair(c.received, c.end));
    }
}

} // namespace
