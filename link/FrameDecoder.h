#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/UploadFrame.h"

// One motion profile as the controller reads it; speed is the byte plus one.
struct ProfileFields {
    int source = 0;
    int acc = 0;
    int speed = 0;
    int dec = 0;
};

// A received frame taken apart, with everything a controller would refuse named in problems.
struct DecodedFrame {
    UploadFrame bytes{};
    ProfileFields forward;
    ProfileFields reverse;
    std::uint32_t cycles = 0;      // 0 means off
    std::uint32_t homeDelayMs = 0; // 0 means off
    std::uint32_t endDelayMs = 0;  // 0 means off
    int autoHome = 0;
    std::vector<std::string> problems;
};

DecodedFrame DecodeFrame(const UploadFrame& frame);

// The frame for a person: both profiles, the options, and the problems after " !! ".
std::string DescribeFrame(const DecodedFrame& frame);

// The bytes as upper-case hex digits, with separator between two bytes.
std::string FrameHex(const UploadFrame& frame, const char* separator);
// 38 hex digits in either case, with nothing or one space, colon or dash between two bytes (never
// inside one); nothing for any other text.
std::optional<UploadFrame> ParseHexFrame(std::string_view text);
