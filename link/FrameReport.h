#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

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

// The bytes as upper-case hex digits, with separator between two bytes.
std::string FrameHex(const UploadFrame& frame, const char* separator);

// The frame for a person, and as a JSON object (bytes, fwd, rev, cycles, delays, auto_home,
// problems); a value that is off is null.
std::string DescribeFrame(const DecodedFrame& frame);
nlohmann::ordered_json FrameJson(const DecodedFrame& frame);

// The line written per frame: for a person, or one JSON object. echoCount is the number of bytes
// about to go back, extras included.
std::string HumanLine(unsigned frameNumber, const DecodedFrame& frame);
std::string JsonLine(unsigned frameNumber, const DecodedFrame& frame, std::size_t echoCount);
