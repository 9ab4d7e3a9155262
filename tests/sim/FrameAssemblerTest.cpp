#include <gtest/gtest.h>

#include "sim/FrameAssembler.h"

namespace {

using Clock = FrameAssembler::Clock;
using std::chrono::milliseconds;

const Clock::time_point kStart = Clock::time_point() + std::chrono::hours(1);

// Feeds count bytes valued first, first + 1, ... 1 ms apart; returns the last result.
FrameAssembler::FeedResult FeedRun(FrameAssembler& assembler, int count, Clock::time_point& now,
                                   std::uint8_t first = 0) {
    FrameAssembler::FeedResult result;
    for (int i = 0; i < count; ++i) {
        result = assembler.Feed(static_cast<std::uint8_t>(first + i), now);
        now += milliseconds(1);
    }
    return result;
}

} // namespace

TEST(FrameAssembler, NineteenBytesMakeAFrame) {
    FrameAssembler assembler;
    Clock::time_point now = kStart;
    EXPECT_EQ(FrameAssembler::Outcome::kPending, FeedRun(assembler, 18, now).outcome);
    EXPECT_EQ(FrameAssembler::Outcome::kFrame, FeedRun(assembler, 1, now, 18).outcome);
    EXPECT_EQ(0, assembler.Frame()[0]);
    EXPECT_EQ(18, assembler.Frame()[18]);
    EXPECT_FALSE(assembler.Deadline());
    EXPECT_EQ(FrameAssembler::Outcome::kFrame, FeedRun(assembler, 19, now, 100).outcome);
    EXPECT_EQ(100, assembler.Frame()[0]);
}

TEST(FrameAssembler, PartialFrameGoesStaleAfterMoreThanTheGapLimit) {
    FrameAssembler assembler;
    Clock::time_point now = kStart;
    FeedRun(assembler, 7, now);
    const Clock::time_point lastByte = now - milliseconds(1);
    ASSERT_TRUE(assembler.Deadline());
    EXPECT_GT(*assembler.Deadline(), lastByte + milliseconds(100));
    EXPECT_LT(*assembler.Deadline(), lastByte + milliseconds(101));

    // Exactly at the limit the byte still belongs to the frame.
    now = lastByte + milliseconds(100);
    EXPECT_EQ(0u, assembler.Expire(now));
    FeedRun(assembler, 1, now, 7);

    now += milliseconds(200);
    const FrameAssembler::FeedResult restart = assembler.Feed(0x03, now);
    EXPECT_EQ(8u, restart.discarded);
    now += milliseconds(1);
    EXPECT_EQ(FrameAssembler::Outcome::kFrame, FeedRun(assembler, 18, now, 1).outcome);
    EXPECT_EQ(0x03, assembler.Frame()[0]);
}

TEST(FrameAssembler, ExpireReportsTheStaleBytesOnce) {
    FrameAssembler assembler;
    Clock::time_point now = kStart;
    FeedRun(assembler, 4, now);
    EXPECT_EQ(4u, assembler.Expire(now + milliseconds(150)));
    EXPECT_EQ(0u, assembler.Expire(now + milliseconds(300)));
    EXPECT_FALSE(assembler.Deadline());
}

TEST(FrameAssembler, DropsTheLineOnceAfterTheGivenByteCount) {
    FrameAssembler assembler(5);
    Clock::time_point now = kStart;
    EXPECT_EQ(FrameAssembler::Outcome::kPending, FeedRun(assembler, 4, now).outcome);
    EXPECT_EQ(FrameAssembler::Outcome::kDropLine, FeedRun(assembler, 1, now).outcome);
    // The bytes before the drop are gone and later frames pass.
    EXPECT_FALSE(assembler.Deadline());
    EXPECT_EQ(FrameAssembler::Outcome::kFrame, FeedRun(assembler, 19, now).outcome);
    EXPECT_EQ(FrameAssembler::Outcome::kFrame, FeedRun(assembler, 19, now).outcome);

    // Every other frame: each one answered arms the next drop.
    FrameAssembler alternating(5, true);
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(FrameAssembler::Outcome::kDropLine, FeedRun(alternating, 5, now).outcome);
        EXPECT_EQ(FrameAssembler::Outcome::kFrame, FeedRun(alternating, 19, now).outcome);
    }
}
