#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "link/UploadFrame.h"

// Ways in which the simulated controller misbehaves when it answers a frame.
struct FaultOptions {
    bool silent = false;
    int echoBytes = 19;              // leading bytes of the frame echoed
    std::optional<int> corruptIndex; // echo byte inverted
    int delayMs = 0;                 // before the first byte
    int gapMs = 0;                   // before byte gapIndex
    std::optional<int> gapIndex;
    int extraBytes = 0; // appended after the echo
};

// Bytes sent back to back; pauseMs is waited before the first of them.
struct EchoBurst {
    int pauseMs = 0;
    std::vector<std::uint8_t> bytes;
};

// What goes back for one frame, in order. Empty when nothing is sent.
struct EchoPlan {
    std::vector<EchoBurst> bursts;
    std::size_t ByteCount() const;
};

EchoPlan PlanEcho(const UploadFrame& frame, const FaultOptions& faults);

// The filler after the echo: 0xA5, 0x5A, 0xA5, ... so it never looks like a frame start.
std::uint8_t ExtraByte(std::size_t index);
