#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <set>
#include <string>

#include "SettingsFiles.h"
#include "link/EchoRule.h"
#include "link/FrameDecoder.h"
#include "link/UploadFrame.h"
#include "model/ParameterTable.h"

using namespace std::string_literals;

namespace {

UploadFrame Build(const ParameterSet& set) {
    UploadFrame frame;
    frame.fill(0xEE); // whatever an earlier upload left must not survive
    BuildUploadFrame(set, frame);
    return frame;
}

// The two profiles of the every-value file (its values up to the cycle count); the rest as it was.
void SetMixedProfiles(ParameterSet& set) {
    using settings_files::kEveryValue;
    ReadParameterText(kEveryValue.substr(0, kEveryValue.find(" 65535")), set);
}

// A parameter set, the frame the encoder makes of it, and that frame as the decoder tells it.
// The set is the missing-file values with `change` applied; a case without one is a frame that
// no set encodes to.
struct FrameCase {
    const char* name;
    void (*change)(ParameterSet&);
    UploadFrame frame;
    const char* description;
};

const FrameCase kFrameCases[] = {
    {"missing-file values, every option off; auto start is not sent",
     [](ParameterSet& set) { set.m_bAutoStart = 1; },
     {0x03, 0x00, 0x0A, 0x6B, 0x0A, 0x00, 0x0A, 0x6B, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00},
     "FWD internal ACC 10 speed 108 DEC 10 | REV internal ACC 10 speed 108 DEC 10 | cycles off | "
     "home delay off | end delay off | auto homing off"},
    {"options on: cycles, delays in tens of ms, auto homing",
     [](ParameterSet& set) {
         set.m_bCyclesOn = set.m_bHomeDelayOn = set.m_bEndDelayOn = set.m_bAutoHome = 1;
     },
     {0x03, 0x00, 0x0A, 0x6B, 0x0A, 0x00, 0x0A, 0x6B, 0x0A, 0x00, 0x00, 0x64, 0x00, 0x00, 0xC8,
      0x00, 0x00, 0xC8, 0x01},
     "FWD internal ACC 10 speed 108 DEC 10 | REV internal ACC 10 speed 108 DEC 10 | cycles 100 | "
     "home delay 2000 ms | end delay 2000 ms | auto homing on"},
    {"forward runs source ACC speed DEC, reverse source DEC speed ACC",
     SetMixedProfiles,
     {0x03, 0x02, 0x05, 0x3B, 0x07, 0x01, 0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00},
     "FWD external-pot ACC 5 speed 60 DEC 7 | REV internal-pot ACC 0 speed 1 DEC 127 | "
     "cycles off | home delay off | end delay off | auto homing off"},
    {"after the forward-to-reverse copy the reverse block repeats the forward one",
     [](ParameterSet& set) {
         SetMixedProfiles(set);
         set.CopyForwardToReverse();
     },
     {0x03, 0x02, 0x05, 0x3B, 0x07, 0x02, 0x05, 0x3B, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00},
     "FWD external-pot ACC 5 speed 60 DEC 7 | REV external-pot ACC 7 speed 60 DEC 5 | "
     "cycles off | home delay off | end delay off | auto homing off"},
    {"the largest count and delay; 15 ms travels as one unit",
     [](ParameterSet& set) {
         set.m_bCyclesOn = set.m_bHomeDelayOn = set.m_bEndDelayOn = 1;
         set.m_nCycles = 65535;
         set.m_nHomeDelay = 16777210;
         set.m_nEndDelay = 15;
     },
     {0x03, 0x00, 0x0A, 0x6B, 0x0A, 0x00, 0x0A, 0x6B, 0x0A, 0x00, 0xFF, 0xFF, 0x19, 0x99, 0x99,
      0x00, 0x00, 0x01, 0x00},
     "FWD internal ACC 10 speed 108 DEC 10 | REV internal ACC 10 speed 108 DEC 10 | "
     "cycles 65535 | home delay 16777210 ms | end delay 10 ms | auto homing off"},
    {"a delay is truncated to tens of ms",
     [](ParameterSet& set) {
         set.m_bHomeDelayOn = 1;
         set.m_nHomeDelay = 1999;
     },
     {0x03, 0x00, 0x0A, 0x6B, 0x0A, 0x00, 0x0A, 0x6B, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC7,
      0x00, 0x00, 0x00, 0x00},
     "FWD internal ACC 10 speed 108 DEC 10 | REV internal ACC 10 speed 108 DEC 10 | cycles off | "
     "home delay 1990 ms | end delay off | auto homing off"},
    {"out-of-range values travel as their low 8 bits, unclamped, and are named",
     [](ParameterSet& set) {
         set.m_nFwdSpeed = 0;
         set.m_nRevSpeed = INT_MIN;
         set.m_nFwdAcc = 300;
         set.m_nRevDec = 200;
         set.m_nFwdSource = -1;
         set.m_bCyclesOn = 1;
         set.m_nCycles = 0x123456; // beyond 16 bits it spills into byte 9
     },
     {0x03, 0xFF, 0x2C, 0xFF, 0x0A, 0x00, 0xC8, 0xFF, 0x0A, 0x12, 0x34, 0x56, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00},
     "FWD source 255 ACC 44 speed 256 DEC 10 | REV internal ACC 10 speed 256 DEC 200 | "
     "cycles 1193046 | home delay off | end delay off | auto homing off !! FWD source 255 > 2; "
     "FWD speed byte 255 > 127; REV speed byte 255 > 127; REV DEC 200 > 127; "
     "cycles 1193046 > 65535"},
    {"a flag counts only when it equals 1",
     [](ParameterSet& set) {
         set.m_bCyclesOn = 2;
         set.m_bHomeDelayOn = -1;
         set.m_bEndDelayOn = 256;
         set.m_bAutoHome = 0x102; // its low 8 bits travel as they are
     },
     {0x03, 0x00, 0x0A, 0x6B, 0x0A, 0x00, 0x0A, 0x6B, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x02},
     "FWD internal ACC 10 speed 108 DEC 10 | REV internal ACC 10 speed 108 DEC 10 | cycles off | "
     "home delay off | end delay off | auto homing 2 !! auto homing byte 2 > 1"},
    {"a source, a count and a delay just past what the controller takes",
     [](ParameterSet& set) {
         set.m_nRevSource = 3;
         set.m_bCyclesOn = set.m_bEndDelayOn = 1;
         set.m_nCycles = 65536;
         set.m_nEndDelay = 16777220;
     },
     {0x03, 0x00, 0x0A, 0x6B, 0x0A, 0x03, 0x0A, 0x6B, 0x0A, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x19, 0x99, 0x9A, 0x00},
     "FWD internal ACC 10 speed 108 DEC 10 | REV source 3 ACC 10 speed 108 DEC 10 | "
     "cycles 65536 | home delay off | end delay 16777220 ms | auto homing off !! "
     "REV source 3 > 2; cycles 65536 > 65535; end delay 16777220 ms > 16777210 ms"},
    {"not an upload: the command byte is named first",
     nullptr,
     {0x05, 0x00, 0x0A, 0xFF, 0x0A, 0x00, 0xC8, 0x6B, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00},
     "FWD internal ACC 10 speed 256 DEC 10 | REV internal ACC 10 speed 108 DEC 200 | cycles off | "
     "home delay off | end delay off | auto homing off !! byte 0 is 0x05, not 0x03; "
     "FWD speed byte 255 > 127; REV DEC 200 > 127"},
};

} // namespace

TEST(UploadFrame, EncodesEachSetAsItsFrame) {
    for (const FrameCase& c : kFrameCases) {
        if (c.change) {
            ParameterSet set;
            set.ApplyMissingFileValues();
            c.change(set);
            EXPECT_EQ(c.frame, Build(set)) << c.name;
        }
    }
}

// Every value the parameter table accepts, at either end of its range, makes a frame that a
// controller takes.
TEST(UploadFrame, EveryAcceptedValueMakesAFrameAControllerTakes) {
    for (const ParameterField* field : FieldsInFileOrder()) {
        for (const int value : {field->min, field->max}) {
            ParameterSet set;
            set.ApplyMissingFileValues();
            set.*(field->member) = value;
            const DecodedFrame decoded = DecodeFrame(Build(set));
            EXPECT_TRUE(decoded.problems.empty())
                << field->name << "=" << value << ": " << DescribeFrame(decoded);
        }
    }
}

TEST(FrameDecoder, TellsEachFrameAndNamesWhatAControllerWouldRefuse) {
    for (const FrameCase& c : kFrameCases) {
        const DecodedFrame decoded = DecodeFrame(c.frame);
        EXPECT_EQ(c.frame, decoded.bytes) << c.name;
        EXPECT_EQ(c.description, DescribeFrame(decoded)) << c.name;
    }
}

TEST(FrameDecoder, HexTextReadsBackAsTheFrame) {
    const UploadFrame frame = kFrameCases[1].frame;
    EXPECT_EQ("03 00 0A 6B 0A 00 0A 6B 0A 00 00 64 00 00 C8 00 00 C8 01", FrameHex(frame, " "));
    for (const char* separator : {"", " ", ":", "-"}) {
        EXPECT_EQ(frame, ParseHexFrame(FrameHex(frame, separator))) << separator;
    }
    EXPECT_EQ(frame, ParseHexFrame("03000a6b0a000a6b0a00006400 00c80000c801"));
    const std::string digits = FrameHex(frame, "");
    const std::string spaced = FrameHex(frame, " ");
    // Separators stand between bytes only, one at a time, and only the three the help names.
    for (const std::string& text :
         {digits.substr(1), digits + "0", digits.substr(2) + "0x", digits.substr(1) + "G", ""s,
          "0 3" + digits.substr(2), "03  " + spaced.substr(3), " " + spaced, spaced + " ",
          "03\t" + spaced.substr(3), "03_" + spaced.substr(3)}) {
        EXPECT_EQ(std::nullopt, ParseHexFrame(text)) << text;
    }
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

// A record read back decides on the outcome its name stands for: every name leads back to its
// own outcome, and no two outcomes share a word in either language.
TEST(EchoRule, EachOutcomeIsNamedAndSaidOnce) {
    std::set<std::string> said;
    for (int code = 0; code <= static_cast<int>(EchoOutcome::kLineLost); ++code) {
        const auto outcome = static_cast<EchoOutcome>(code);
        EXPECT_EQ(outcome, EchoOutcomeNamed(EchoOutcomeName(outcome)));
        for (const Language language : {Language::kEnglish, Language::kChinese}) {
            EXPECT_TRUE(said.insert(EchoOutcomeWord(outcome, language)).second) << code;
        }
    }
    EXPECT_EQ(std::nullopt, EchoOutcomeNamed("re-sent"));
    EXPECT_EQ("回传不完整（收到 18/19 字节）",
              EchoReason({EchoOutcome::kShortEcho, 18}, Language::kChinese));
}
