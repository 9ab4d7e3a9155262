#include <gtest/gtest.h>

#include <chrono>
#include <optional>

#include "TickClock.h"
#include "platform/Deadline.h"

namespace {

using Ms = std::chrono::milliseconds;
using std::chrono::microseconds;

TEST(Deadline, AWaitEndsAtItsBoundWhateverAPauseLasts) {
    struct Case {
        Ms limit, pace;
        microseconds tick;
    } const cases[] = {
        {Ms(2000), Ms(10), kWindowsTick}, // a poll count of 200 would take 3.1 s here
        {Ms(2000), Ms(10), microseconds(1000)},
        {Ms(10000), Ms(200), kWindowsTick},
        {Ms(5), Ms(10), kWindowsTick}, // a bound shorter than one pace
    };
    for (const Case& c : cases) {
        const TickClock clock(c.tick);
        Deadline deadline(c.limit, c.pace, {}, clock);
        int looks = 0;
        EXPECT_EQ(deadline.Until([&] { return ++looks, false; }), WaitEnd::kTimeUp);
        EXPECT_GE(deadline.Elapsed(), c.limit);
        // Past the bound by no more than the last pause's rounding to the tick.
        EXPECT_LE(deadline.Elapsed(), c.limit + std::chrono::ceil<Ms>(c.tick)) << c.limit.count();
        EXPECT_EQ(looks, clock.Pauses() + 1) << "a last look is taken at the bound";
    }
}

TEST(Deadline, EndsAtOnceWhenWhatItWaitsForComesOrItsCallerStops) {
    const TickClock clock(kWindowsTick);
    int looks = 0;
    EXPECT_EQ(Deadline(Ms(1000), Ms(10), {}, clock).Until([&] { return ++looks == 3; }),
              WaitEnd::kDone);
    EXPECT_EQ(clock.Pauses(), 2);

    int asked = 0;
    Deadline stopped(
        Ms(1000), Ms(10), [&] { return ++asked < 4; }, clock);
    EXPECT_EQ(stopped.Until([] { return false; }), WaitEnd::kStopped);
    EXPECT_EQ(clock.Pauses(), 2 + 3) << "no pause after the caller said stop";

    // A caller that stops is heard before the clock, also once the bound has passed.
    Deadline late(
        Ms(0), Ms(10), [] { return false; }, clock);
    EXPECT_EQ(late.Pause(), std::optional<WaitEnd>(WaitEnd::kStopped));
    EXPECT_EQ(Deadline(Ms(0), Ms(10), {}, clock).Pause(), std::optional<WaitEnd>(WaitEnd::kTimeUp));
}

TEST(Deadline, MeasuresTheSystemsOwnTime) {
    const auto start = std::chrono::steady_clock::now();
    Deadline deadline(Ms(200), Ms(10));
    EXPECT_EQ(deadline.Until([] { return false; }), WaitEnd::kTimeUp);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, Ms(200));
    EXPECT_LT(took, Ms(200) + std::chrono::seconds(10)); // a generous bound for a loaded machine
}

} // namespace
