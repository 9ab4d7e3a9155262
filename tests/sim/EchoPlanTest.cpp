#include <gtest/gtest.h>

#include "sim/EchoPlan.h"

namespace {

UploadFrame CountingFrame() {
    UploadFrame frame;
    for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<std::uint8_t>(i + 1);
    }
    return frame;
}

std::vector<std::uint8_t> AllBytes(const EchoPlan& plan) {
    std::vector<std::uint8_t> bytes;
    for (const EchoBurst& burst : plan.bursts) {
        bytes.insert(bytes.end(), burst.bytes.begin(), burst.bytes.end());
    }
    return bytes;
}

const UploadFrame kFrame = CountingFrame();
const std::vector<std::uint8_t> kEcho(kFrame.begin(), kFrame.end());

} // namespace

TEST(EchoPlan, CleanEchoIsTheFrameAtOnce) {
    const EchoPlan plan = PlanEcho(kFrame, FaultOptions{});
    ASSERT_EQ(1u, plan.bursts.size());
    EXPECT_EQ(0, plan.bursts[0].pauseMs);
    EXPECT_EQ(kEcho, plan.bursts[0].bytes);
    EXPECT_EQ(19u, plan.ByteCount());
}

TEST(EchoPlan, SilentSendsNothingEvenWithExtras) {
    FaultOptions faults;
    faults.silent = true;
    faults.extraBytes = 3;
    faults.delayMs = 50;
    EXPECT_TRUE(PlanEcho(kFrame, faults).bursts.empty());
    EXPECT_EQ(0u, PlanEcho(kFrame, faults).ByteCount());
}

TEST(EchoPlan, ShortEchoAndCorruption) {
    FaultOptions faults;
    faults.echoBytes = 5;
    EXPECT_EQ(std::vector<std::uint8_t>(kEcho.begin(), kEcho.begin() + 5),
              AllBytes(PlanEcho(kFrame, faults)));
    faults.echoBytes = 0;
    EXPECT_TRUE(PlanEcho(kFrame, faults).bursts.empty());

    faults = FaultOptions{};
    faults.corruptIndex = 18;
    std::vector<std::uint8_t> expected = kEcho;
    expected[18] ^= 0xFF;
    EXPECT_EQ(expected, AllBytes(PlanEcho(kFrame, faults)));

    // A byte that is not echoed cannot be corrupted.
    faults.echoBytes = 10;
    EXPECT_EQ(std::vector<std::uint8_t>(kEcho.begin(), kEcho.begin() + 10),
              AllBytes(PlanEcho(kFrame, faults)));
}

TEST(EchoPlan, ExtrasFollowTheEcho) {
    FaultOptions faults;
    faults.extraBytes = 3;
    std::vector<std::uint8_t> expected = kEcho;
    expected.insert(expected.end(), {0xA5, 0x5A, 0xA5});
    const EchoPlan plan = PlanEcho(kFrame, faults);
    EXPECT_EQ(expected, AllBytes(plan));
    EXPECT_EQ(22u, plan.ByteCount());
}

TEST(EchoPlan, DelayAndGapSplitTheEcho) {
    FaultOptions faults;
    faults.delayMs = 300;
    faults.gapMs = 150;
    faults.gapIndex = 10;
    const EchoPlan plan = PlanEcho(kFrame, faults);
    ASSERT_EQ(2u, plan.bursts.size());
    EXPECT_EQ(300, plan.bursts[0].pauseMs);
    EXPECT_EQ(std::vector<std::uint8_t>(kEcho.begin(), kEcho.begin() + 10), plan.bursts[0].bytes);
    EXPECT_EQ(150, plan.bursts[1].pauseMs);
    EXPECT_EQ(std::vector<std::uint8_t>(kEcho.begin() + 10, kEcho.end()), plan.bursts[1].bytes);

    // At byte 0 the gap adds to the delay.
    faults.gapIndex = 0;
    const EchoPlan atStart = PlanEcho(kFrame, faults);
    ASSERT_EQ(1u, atStart.bursts.size());
    EXPECT_EQ(450, atStart.bursts[0].pauseMs);

    // Past the bytes sent there is nothing to hold back; within the extras there is.
    faults.gapIndex = 8;
    faults.echoBytes = 5;
    EXPECT_EQ(1u, PlanEcho(kFrame, faults).bursts.size());
    faults.extraBytes = 4;
    const EchoPlan intoExtras = PlanEcho(kFrame, faults);
    ASSERT_EQ(2u, intoExtras.bursts.size());
    EXPECT_EQ(8u, intoExtras.bursts[0].bytes.size());
    EXPECT_EQ(std::vector<std::uint8_t>({0x5A}), intoExtras.bursts[1].bytes);
}
