#include <gtest/gtest.h>

#include "link/UploadFrame.h"
#include "link/FrameReport.h"

namespace {

constexpr UploadFrame kMissingFileFrame = {0x03, 0x00, 0x0A, 0x6B, 0x0A, 0x00, 0x0A,
                                           0x6B, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00,
                                           0x00, 0x00, 0x00, 0x00, 0x00};

UploadFrame WithBytes(std::initializer_list<std::pair<int, std::uint8_t>> changes) {
    UploadFrame frame = kMissingFileFrame;
    for (const auto& [index, value] : changes) {
        frame[index] = value;
    }
    return frame;
}

} // namespace

TEST(FrameReport, MissingFileValuesWithEveryOptionOff) {
    const DecodedFrame decoded = DecodeFrame(kMissingFileFrame);
    EXPECT_TRUE(decoded.problems.empty());
    EXPECT_EQ("#1 FWD internal ACC 10 speed 108 DEC 10 | REV internal ACC 10 speed 108 DEC 10 | "
              "cycles off | home delay off | end delay off | auto homing off",
              HumanLine(1, decoded));
    EXPECT_EQ("{\"n\":1,\"bytes\":\"03000A6B0A000A6B0A00000000000000000000\","
              "\"fwd\":{\"source\":0,\"acc\":10,\"speed\":108,\"dec\":10},"
              "\"rev\":{\"source\":0,\"acc\":10,\"speed\":108,\"dec\":10},"
              "\"cycles\":null,\"home_delay_ms\":null,\"end_delay_ms\":null,\"auto_home\":0,"
              "\"problems\":[],\"echo\":19}",
              JsonLine(1, decoded, 19));
}

TEST(FrameReport, OptionsOnGiveCyclesDelaysAndAutoHoming) {
    const UploadFrame frame =
        WithBytes({{11, 0x64}, {14, 0xC8}, {17, 0xC8}, {18, 0x01}}); // 00 64 00 00 C8 00 00 C8 01
    const DecodedFrame decoded = DecodeFrame(frame);
    EXPECT_EQ(100u, decoded.cycles);
    EXPECT_EQ(2000u, decoded.homeDelayMs);
    EXPECT_EQ(2000u, decoded.endDelayMs);
    EXPECT_EQ(1, decoded.autoHome);
    EXPECT_TRUE(decoded.problems.empty());
    const std::string human = HumanLine(7, decoded);
    EXPECT_NE(std::string::npos, human.find("#7 "));
    EXPECT_NE(std::string::npos, human.find("| cycles 100 | home delay 2000 ms | end delay 2000 "
                                            "ms | auto homing on"));
    const std::string json = JsonLine(7, decoded, 22);
    EXPECT_NE(std::string::npos,
              json.find("\"cycles\":100,\"home_delay_ms\":2000,\"end_delay_ms\":2000,"
                        "\"auto_home\":1,\"problems\":[],\"echo\":22}"));
}

// The reverse block is ordered source, DEC, speed, ACC; decoding must undo exactly what the
// program's encoder does.
TEST(FrameReport, MixedProfilesDecodeAsTheEncoderWroteThem) {
    ParameterSet set;
    set.ApplyMissingFileValues();
    set.m_nFwdSource = 2;
    set.m_nFwdAcc = 5;
    set.m_nFwdSpeed = 60;
    set.m_nFwdDec = 7;
    set.m_nRevSource = 1;
    set.m_nRevDec = 127;
    set.m_nRevSpeed = 1;
    set.m_nRevAcc = 0;
    UploadFrame frame;
    BuildUploadFrame(set, frame);
    ASSERT_EQ(WithBytes({{1, 0x02},
                         {2, 0x05},
                         {3, 0x3B},
                         {4, 0x07},
                         {5, 0x01},
                         {6, 0x7F},
                         {7, 0x00},
                         {8, 0x00}}),
              frame);

    const DecodedFrame decoded = DecodeFrame(frame);
    EXPECT_EQ(2, decoded.forward.source);
    EXPECT_EQ(5, decoded.forward.acc);
    EXPECT_EQ(60, decoded.forward.speed);
    EXPECT_EQ(7, decoded.forward.dec);
    EXPECT_EQ(1, decoded.reverse.source);
    EXPECT_EQ(127, decoded.reverse.dec);
    EXPECT_EQ(1, decoded.reverse.speed);
    EXPECT_EQ(0, decoded.reverse.acc);
    EXPECT_TRUE(decoded.problems.empty());
    EXPECT_NE(std::string::npos,
              HumanLine(1, decoded)
                  .find("FWD external-pot ACC 5 speed 60 DEC 7 | REV internal-pot ACC 0 speed 1 "
                        "DEC 127 |"));
}

TEST(FrameReport, LargestCountsAndDelayUnits) {
    EXPECT_EQ(65535u, DecodeFrame(WithBytes({{10, 0xFF}, {11, 0xFF}})).cycles);
    EXPECT_TRUE(DecodeFrame(WithBytes({{10, 0xFF}, {11, 0xFF}})).problems.empty());

    // 15 ms travels as one unit of 10 ms.
    const DecodedFrame shortDelay = DecodeFrame(WithBytes({{17, 0x01}}));
    EXPECT_EQ(10u, shortDelay.endDelayMs);
    EXPECT_NE(std::string::npos, HumanLine(1, shortDelay).find("end delay 10 ms"));

    const DecodedFrame largest = DecodeFrame(WithBytes({{12, 0x19}, {13, 0x99}, {14, 0x99}}));
    EXPECT_EQ(16777210u, largest.homeDelayMs);
    EXPECT_TRUE(largest.problems.empty());
}

TEST(FrameReport, ValuesAControllerWouldRejectAreNamed) {
    const DecodedFrame decoded = DecodeFrame(WithBytes({{0, 0x05}, {3, 0xFF}, {6, 0xC8}}));
    const std::vector<std::string> expected = {"byte 0 is 0x05, not 0x03",
                                               "FWD speed byte 255 > 127", "REV DEC 200 > 127"};
    EXPECT_EQ(expected, decoded.problems);
    const std::string human = HumanLine(1, decoded);
    EXPECT_EQ(" !! byte 0 is 0x05, not 0x03; FWD speed byte 255 > 127; REV DEC 200 > 127",
              human.substr(human.find(" !! ")));
    EXPECT_NE(std::string::npos,
              JsonLine(1, decoded, 19)
                  .find("\"problems\":[\"byte 0 is 0x05, not 0x03\",\"FWD speed byte 255 > "
                        "127\",\"REV DEC 200 > 127\"]"));
}

TEST(FrameReport, OutOfRangeSourceCountDelayAndAutoHome) {
    // Byte 9 is the top of a 24-bit cycle count, so anything there exceeds 65535.
    const DecodedFrame decoded = DecodeFrame(
        WithBytes({{5, 0x03}, {9, 0x01}, {15, 0x19}, {16, 0x99}, {17, 0x9A}, {18, 0x02}}));
    const std::vector<std::string> expected = {"REV source 3 > 2", "cycles 65536 > 65535",
                                               "end delay 16777220 ms > 16777210 ms",
                                               "auto homing byte 2 > 1"};
    EXPECT_EQ(expected, decoded.problems);
    const std::string human = HumanLine(1, decoded);
    EXPECT_NE(std::string::npos, human.find("REV source 3 ACC"));
    EXPECT_NE(std::string::npos, human.find("auto homing 2 !! "));
}
