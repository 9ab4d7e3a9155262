#include <algorithm>
#include <cstring>
#include <iterator>
#include <numeric>
#include <sstream>

#include <gtest/gtest.h>

#include "model/ParameterAssignment.h"
#include "model/ParameterSet.h"
#include "model/ParameterTable.h"
#include "model/ParameterText.h"

TEST(ParameterSet, MissingFileValuesLeaveFlagsAlone) {
    ParameterSet set;
    set.m_nPort = 7;
    set.m_bCyclesOn = set.m_bHomeDelayOn = set.m_bEndDelayOn = set.m_bAutoHome = 1;
    set.m_bAutoStart = 1;
    set.ApplyMissingFileValues();

    EXPECT_EQ(0, set.m_nPort);
    EXPECT_EQ(0, set.m_nFwdSource);
    EXPECT_EQ(0, set.m_nRevSource);
    for (int ramp : {set.m_nFwdAcc, set.m_nFwdDec, set.m_nRevAcc, set.m_nRevDec}) {
        EXPECT_EQ(10, ramp);
    }
    EXPECT_EQ(108, set.m_nFwdSpeed);
    EXPECT_EQ(108, set.m_nRevSpeed);
    EXPECT_EQ(100, set.m_nCycles);
    EXPECT_EQ(2000, set.m_nHomeDelay);
    EXPECT_EQ(2000, set.m_nEndDelay);
    for (int flag : {set.m_bCyclesOn, set.m_bHomeDelayOn, set.m_bEndDelayOn, set.m_bAutoHome,
                     set.m_bAutoStart}) {
        EXPECT_EQ(1, flag);
    }
    EXPECT_EQ(0, set.m_bLegendOn);
}

TEST(ParameterSet, CopyForwardToReverseCrossesTheRamps) {
    ParameterSet set;
    set.m_nFwdAcc = 5;
    set.m_nFwdSpeed = 60;
    set.m_nFwdDec = 7;
    set.m_nFwdSource = kSpeedExternalPot;
    set.m_nCycles = 11;
    set.m_nHomeDelay = 12;
    set.m_nEndDelay = 13;
    set.m_bCyclesOn = 1;
    set.m_nPort = 4;
    const ParameterSet before = set;

    set.CopyForwardToReverse();

    // The reverse profile takes the forward one with its ramps crossed; the forward profile and
    // everything outside the two profiles stay as they were.
    ParameterSet expected = before;
    expected.m_nRevAcc = 7;
    expected.m_nRevSpeed = 60;
    expected.m_nRevDec = 5;
    expected.m_nRevSource = kSpeedExternalPot;
    EXPECT_EQ(0, std::memcmp(&expected, &set, sizeof set));
}

// The table names exactly the members the file stores, each once in its own file position, and
// finds each by member.
TEST(ParameterTable, CoversTheStoredMembersOnce) {
    ASSERT_EQ(static_cast<std::size_t>(kStoredValueCount), ParameterFields().size());
    ParameterSet set;
    int marker = 1000;
    for (const ParameterField& field : ParameterFields()) {
        set.*(field.member) = marker++;
        EXPECT_EQ(&field, &FieldFor(field.member));
        EXPECT_EQ(&field, FindField(field.name));
    }
    std::istringstream stored(WriteParameterText(set));
    std::vector<int> values{std::istream_iterator<int>(stored), {}};
    std::sort(values.begin(), values.end());
    std::vector<int> expected(ParameterFields().size());
    std::iota(expected.begin(), expected.end(), 1000);
    EXPECT_EQ(expected, values);
}

TEST(ParameterTable, WordsReadBackAsTheirValues) {
    for (const ParameterField& field : ParameterFields()) {
        for (int value = field.min; value <= field.max && value < 3; ++value) {
            EXPECT_EQ(value, ParseValue(field, ValueText(field, value))) << field.name;
        }
        EXPECT_EQ(std::nullopt, ParseValue(field, "010x")) << field.name;
    }
    EXPECT_EQ("0-2: internal, internal-pot, external-pot",
              AcceptedText(FieldFor(&ParameterSet::m_nRevSource)));
    EXPECT_EQ("on/off or 1/0", AcceptedText(FieldFor(&ParameterSet::m_bAutoHome)));
    EXPECT_EQ("-1 to 9", AcceptedText(FieldFor(&ParameterSet::m_nPort)));
}

// Each refusal leaves the set alone; the tool prints these lines as they are.
TEST(ParameterAssignment, TakesKnownNamesWithValuesTheDialogAccepts) {
    ParameterSet set;
    std::string error;
    EXPECT_TRUE(ApplyAssignment("rev.source=external-pot", set, error));
    EXPECT_TRUE(ApplyAssignment("cycles=65535", set, error));
    EXPECT_EQ(kSpeedExternalPot, set.m_nRevSource);
    EXPECT_EQ(65535, set.m_nCycles);
    const ParameterSet before = set;
    const struct {
        const char* assignment;
        const char* error;
    } refused[] = {
        {"cycles", "expected NAME=VALUE, got 'cycles'"},
        {"cycle=5", "unknown name 'cycle' (names: port, fwd.source, fwd.acc, fwd.speed, fwd.dec, "
                    "rev.source, rev.acc, rev.speed, rev.dec, cycles, home_delay_ms, "
                    "end_delay_ms, cycles.on, home_delay.on, end_delay.on, auto_home)"},
        {"cycles=5=6", "cycles: '5=6' is not a value (0-65535)"},
        {"auto_home=2", "auto_home=2 is out of range (on/off or 1/0)"},
    };
    for (const auto& c : refused) {
        EXPECT_FALSE(ApplyAssignment(c.assignment, set, error)) << c.assignment;
        EXPECT_EQ(c.error, error);
    }
    EXPECT_EQ(0, std::memcmp(&before, &set, sizeof set));
}
