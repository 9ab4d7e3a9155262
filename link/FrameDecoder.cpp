#include "link/FrameDecoder.h"

#include <cstdio>
#include <utility>

#include "model/ParameterTable.h"

namespace {

using P = ParameterSet;
constexpr unsigned kDelayUnitMs = 10;

int Highest(int ParameterSet::*member) {
    return FieldFor(member).max;
}

std::uint32_t Unsigned24(const UploadFrame& frame, int first) {
    return static_cast<std::uint32_t>(frame[first]) << 16 |
           static_cast<std::uint32_t>(frame[first + 1]) << 8 | frame[first + 2];
}

std::string Hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

class ProblemList {
public:
    explicit ProblemList(std::vector<std::string>& problems) : problems_(problems) {}

    void CheckAtMost(const std::string& what, long value, long limit, const char* unit = "") {
        if (value > limit) {
            problems_.push_back(what + " " + std::to_string(value) + unit + " > " +
                                std::to_string(limit) + unit);
        }
    }

    void Add(std::string problem) { problems_.push_back(std::move(problem)); }

private:
    std::vector<std::string>& problems_;
};

void CheckProfile(ProblemList& problems, const char* name, const ProfileFields& profile) {
    const std::string prefix = name;
    // Both profiles have the forward profile's ranges.
    problems.CheckAtMost(prefix + " source", profile.source, Highest(&P::m_nFwdSource));
    problems.CheckAtMost(prefix + " ACC", profile.acc, Highest(&P::m_nFwdAcc));
    // The byte is what the controller sees, so that is what the message names.
    problems.CheckAtMost(prefix + " speed byte", profile.speed - 1, Highest(&P::m_nFwdSpeed) - 1);
    problems.CheckAtMost(prefix + " DEC", profile.dec, Highest(&P::m_nFwdDec));
}

std::string DescribeProfile(const char* name, const ProfileFields& profile) {
    const char* source = ValueWord(FieldFor(&P::m_nFwdSource), profile.source);
    std::string text = name;
    text += source ? std::string(" ") + source : " source " + std::to_string(profile.source);
    text += " ACC " + std::to_string(profile.acc) + " speed " + std::to_string(profile.speed) +
            " DEC " + std::to_string(profile.dec);
    return text;
}

std::string OffOr(std::uint32_t value, const char* unit) {
    return value == 0 ? std::string("off") : std::to_string(value) + unit;
}

} // namespace

DecodedFrame DecodeFrame(const UploadFrame& frame) {
    DecodedFrame decoded;
    decoded.bytes = frame;
    decoded.forward = {frame[1], frame[2], frame[3] + 1, frame[4]};
    // The reverse block runs source, DEC, speed, ACC.
    decoded.reverse = {frame[5], frame[8], frame[7] + 1, frame[6]};
    decoded.cycles = Unsigned24(frame, 9);
    decoded.homeDelayMs = Unsigned24(frame, 12) * kDelayUnitMs;
    decoded.endDelayMs = Unsigned24(frame, 15) * kDelayUnitMs;
    decoded.autoHome = frame[18];

    ProblemList problems(decoded.problems);
    if (frame[0] != kUploadCommand) {
        problems.Add("byte 0 is " + Hex(frame[0]) + ", not " + Hex(kUploadCommand));
    }
    CheckProfile(problems, "FWD", decoded.forward);
    CheckProfile(problems, "REV", decoded.reverse);
    problems.CheckAtMost("cycles", decoded.cycles, Highest(&P::m_nCycles));
    problems.CheckAtMost("home delay", decoded.homeDelayMs, Highest(&P::m_nHomeDelay), " ms");
    problems.CheckAtMost("end delay", decoded.endDelayMs, Highest(&P::m_nEndDelay), " ms");
    problems.CheckAtMost("auto homing byte", decoded.autoHome, Highest(&P::m_bAutoHome));
    return decoded;
}

std::string DescribeFrame(const DecodedFrame& frame) {
    std::string line = DescribeProfile("FWD", frame.forward) + " | " +
                       DescribeProfile("REV", frame.reverse) + " | cycles " +
                       OffOr(frame.cycles, "") + " | home delay " +
                       OffOr(frame.homeDelayMs, " ms") + " | end delay " +
                       OffOr(frame.endDelayMs, " ms") + " | auto homing ";
    switch (frame.autoHome) {
    case 0:
        line += "off";
        break;
    case 1:
        line += "on";
        break;
    default:
        line += std::to_string(frame.autoHome);
    }
    for (std::size_t i = 0; i < frame.problems.size(); ++i) {
        line += i == 0 ? " !! " : "; ";
        line += frame.problems[i];
    }
    return line;
}

std::string FrameHex(const UploadFrame& frame, const char* separator) {
    std::string hex;
    for (const std::uint8_t byte : frame) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", byte);
        if (!hex.empty()) {
            hex += separator;
        }
        hex += digits;
    }
    return hex;
}

std::optional<UploadFrame> ParseHexFrame(std::string_view text) {
    const auto nibble = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    UploadFrame frame{};
    std::size_t at = 0;
    for (std::size_t byte = 0; byte < frame.size(); ++byte) {
        if (byte > 0 && at < text.size() &&
            (text[at] == ' ' || text[at] == ':' || text[at] == '-')) {
            ++at;
        }
        if (text.size() - at < 2 || nibble(text[at]) < 0 || nibble(text[at + 1]) < 0) {
            return std::nullopt;
        }
        frame[byte] = static_cast<std::uint8_t>(nibble(text[at]) << 4 | nibble(text[at + 1]));
        at += 2;
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    return frame;
}
