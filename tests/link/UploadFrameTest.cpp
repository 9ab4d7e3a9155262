#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <iterator>

#include "link/EchoRule.h"
#include "link/UploadFrame.h"

namespace {

ParameterSet MissingFileSet() {
    ParameterSet set;
    set.ApplyMissingFileValues();
    return set;
}

UploadFrame Build(const ParameterSet& set) {
    UploadFrame frame;
    frame.fill(0xEE); // whatever an earlier upload left must not survive
    BuildUploadFrame(set, frame);
    return frame;
}

} // namespace

TEST(UploadFrame, MissingFileValuesWithEveryOptionOff) {
    const UploadFrame expected = {0x03, 0x00, 0x0A, 0x6B, 0x0A, 0x00, 0x0A, 0x6B, 0x0A, 0x00,
                                  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    ParameterSet set = MissingFileSet();
    set.m_bAutoStart = 1; // not transmitted
    EXPECT_EQ(expected, Build(set));
}

TEST(UploadFrame, OptionsOnCarryCyclesDelaysAndAutoHoming) {
    ParameterSet set = MissingFileSet();
    set.m_bCyclesOn = set.m_bHomeDelayOn = set.m_bEndDelayOn = set.m_bAutoHome = 1;
    const UploadFrame frame = Build(set);
    const UploadFrame expected = {0x03, 0x00, 0x0A, 0x6B, 0x0A, 0x00, 0x0A, 0x6B, 0x0A, 0x00,
                                  0x00, 0x64, 0x00, 0x00, 0xC8, 0x00, 0x00, 0xC8, 0x01};
    EXPECT_EQ(expected, frame);
}

TEST(UploadFrame, ProfilesRunSourceAccSpeedDecForwardAndSourceDecSpeedAccReverse) {
    ParameterSet set = MissingFileSet();
    set.m_nFwdSource = 2;
    set.m_nFwdAcc = 5;
    set.m_nFwdSpeed = 60;
    set.m_nFwdDec = 7;
    set.m_nRevSource = 1;
    set.m_nRevDec = 127;
    set.m_nRevSpeed = 1;
    set.m_nRevAcc = 0;
    const UploadFrame frame = Build(set);
    const UploadFrame::value_type expected[] = {0x02, 0x05, 0x3B, 0x07, 0x01, 0x7F, 0x00, 0x00};
    EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), frame.begin() + 1));

    // After the forward-to-reverse copy the reverse block repeats the forward one.
    set.CopyForwardToReverse();
    const UploadFrame copied = Build(set);
    EXPECT_TRUE(std::equal(copied.begin() + 1, copied.begin() + 5, copied.begin() + 5));
}

TEST(UploadFrame, FieldLimitsAndTruncation) {
    ParameterSet set = MissingFileSet();
    set.m_bCyclesOn = set.m_bHomeDelayOn = set.m_bEndDelayOn = 1;
    set.m_nCycles = 65535;
    set.m_nHomeDelay = 16777210;
    set.m_nEndDelay = 15;
    UploadFrame frame = Build(set);
    EXPECT_EQ(0x00, frame[9]);
    EXPECT_EQ(0xFF, frame[10]);
    EXPECT_EQ(0xFF, frame[11]);
    EXPECT_EQ(0x19, frame[12]);
    EXPECT_EQ(0x99, frame[13]);
    EXPECT_EQ(0x99, frame[14]);
    EXPECT_EQ(0x00, frame[15]);
    EXPECT_EQ(0x00, frame[16]);
    EXPECT_EQ(0x01, frame[17]);

    set.m_nHomeDelay = 1999; // truncates to 199
    EXPECT_EQ(199, Build(set)[14]);
}

TEST(UploadFrame, OutOfRangeValuesTravelAsTheirLow8BitsUnclamped) {
    ParameterSet set = MissingFileSet();
    set.m_nFwdSpeed = 0;
    set.m_nRevSpeed = INT_MIN;
    set.m_nFwdAcc = 300;
    set.m_nRevDec = 200;
    set.m_nFwdSource = -1;
    set.m_bCyclesOn = 1;
    set.m_nCycles = 0x123456;
    const UploadFrame frame = Build(set);
    EXPECT_EQ(0xFF, frame[3]);
    EXPECT_EQ(0xFF, frame[7]);
    EXPECT_EQ(0x2C, frame[2]);
    EXPECT_EQ(0xC8, frame[6]);
    EXPECT_EQ(0xFF, frame[1]);
    EXPECT_EQ(0x12, frame[9]); // a count beyond 16 bits spills into byte 9
    EXPECT_EQ(0x34, frame[10]);
    EXPECT_EQ(0x56, frame[11]);
}

TEST(UploadFrame, AFlagCountsOnlyWhenItEqualsOne) {
    ParameterSet set = MissingFileSet();
    set.m_bCyclesOn = 2;
    set.m_bHomeDelayOn = -1;
    set.m_bEndDelayOn = 256;
    set.m_bAutoHome = 0x102; // low 8 bits travel as they are
    const UploadFrame frame = Build(set);
    for (int i = 9; i <= 17; ++i) {
        EXPECT_EQ(0, frame[i]) << "byte " << i;
    }
    EXPECT_EQ(0x02, frame[18]);
}

TEST(EchoRule, OnlyTheSameNineteenBytesConfirm) {
    UploadFrame sent{};
    BuildUploadFrame(ParameterSet{}, sent);
    std::array<std::uint8_t, 24> echo{};
    std::copy(sent.begin(), sent.end(), echo.begin());
    echo[19] = 0xA5; // what follows the echo is not part of it
    EXPECT_EQ(EchoOutcome::kConfirmed, JudgeEcho(sent, echo.data(), echo.size()).outcome);
    EXPECT_EQ(EchoOutcome::kNoEcho, JudgeEcho(sent, echo.data(), 0).outcome);
    const EchoResult shortEcho = JudgeEcho(sent, echo.data(), 18);
    EXPECT_EQ("failed: short echo (18 of 19 bytes)", DescribeEcho(shortEcho));
    echo[18] ^= 0xFF;
    EXPECT_EQ(EchoOutcome::kChangedEcho, JudgeEcho(sent, echo.data(), 19).outcome);
}
