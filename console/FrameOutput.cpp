#include "console/FrameOutput.h"

#include <nlohmann/json.hpp>

namespace {

nlohmann::ordered_json JsonProfile(const ProfileFields& profile) {
    return {{"source", profile.source},
            {"acc", profile.acc},
            {"speed", profile.speed},
            {"dec", profile.dec}};
}

nlohmann::ordered_json NumberOrNull(std::uint32_t value) {
    return value == 0 ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(value);
}

} // namespace

nlohmann::ordered_json FrameJson(const DecodedFrame& frame) {
    return {{"bytes", FrameHex(frame.bytes, "")},
            {"fwd", JsonProfile(frame.forward)},
            {"rev", JsonProfile(frame.reverse)},
            {"cycles", NumberOrNull(frame.cycles)},
            {"home_delay_ms", NumberOrNull(frame.homeDelayMs)},
            {"end_delay_ms", NumberOrNull(frame.endDelayMs)},
            {"auto_home", frame.autoHome},
            {"problems", frame.problems}};
}

std::string HumanLine(unsigned frameNumber, const DecodedFrame& frame) {
    return "#" + std::to_string(frameNumber) + " " + DescribeFrame(frame);
}

std::string JsonLine(unsigned frameNumber, const DecodedFrame& frame, std::size_t echoCount) {
    nlohmann::ordered_json line = {{"n", frameNumber}};
    line.update(FrameJson(frame));
    line["echo"] = echoCount;
    return line.dump();
}
