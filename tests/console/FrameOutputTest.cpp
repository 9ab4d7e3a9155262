#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "console/FrameOutput.h"

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

// What scripts read from the simulator's log: off values as null, every problem in a list.
TEST(FrameOutput, LinesNumberTheFrameAndJsonCarriesEveryField) {
    const DecodedFrame missingFile = DecodeFrame(kMissingFileFrame);
    EXPECT_EQ("#1 FWD internal ACC 10 speed 108 DEC 10 | REV internal ACC 10 speed 108 DEC 10 | "
              "cycles off | home delay off | end delay off | auto homing off",
              HumanLine(1, missingFile));
    EXPECT_EQ("{\"n\":1,\"bytes\":\"03000A6B0A000A6B0A00000000000000000000\","
              "\"fwd\":{\"source\":0,\"acc\":10,\"speed\":108,\"dec\":10},"
              "\"rev\":{\"source\":0,\"acc\":10,\"speed\":108,\"dec\":10},"
              "\"cycles\":null,\"home_delay_ms\":null,\"end_delay_ms\":null,\"auto_home\":0,"
              "\"problems\":[],\"echo\":19}",
              JsonLine(1, missingFile, 19));

    const DecodedFrame optionsOn =
        DecodeFrame(WithBytes({{11, 0x64}, {14, 0xC8}, {17, 0xC8}, {18, 0x01}}));
    EXPECT_EQ(0u, HumanLine(7, optionsOn).find("#7 FWD "));
    EXPECT_NE(std::string::npos,
              JsonLine(7, optionsOn, 22)
                  .find("\"cycles\":100,\"home_delay_ms\":2000,\"end_delay_ms\":2000,"
                        "\"auto_home\":1,\"problems\":[],\"echo\":22}"));

    const DecodedFrame refused = DecodeFrame(WithBytes({{0, 0x05}, {3, 0xFF}, {6, 0xC8}}));
    EXPECT_NE(std::string::npos,
              FrameJson(refused).dump().find(
                  "\"fwd\":{\"source\":0,\"acc\":10,\"speed\":256,\"dec\":10},"
                  "\"rev\":{\"source\":0,\"acc\":10,\"speed\":108,\"dec\":200},"
                  "\"cycles\":null,\"home_delay_ms\":null,\"end_delay_ms\":null,\"auto_home\":0,"
                  "\"problems\":[\"byte 0 is 0x05, not 0x03\",\"FWD speed byte 255 > 127\","
                  "\"REV DEC 200 > 127\"]"));
}
