#pragma once

#include <cstdint>
#include <string>
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

// The line written per frame: for a person, or one JSON object. echoCount is the number of bytes
// about to go back, extras included.
std::string HumanLine(unsigned frameNumber, const DecodedFrame& frame);
std::string JsonLine(unsigned frameNumber, const DecodedFrame& frame, std::size_t echoCount);
