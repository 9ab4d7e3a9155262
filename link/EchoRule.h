#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/UploadFrame.h"

// The line settings and time-outs of an upload, shared by every program that sends a frame.
namespace LineTiming {
constexpr unsigned kBaudRate = 9600;
constexpr unsigned kIntervalMs = 100; // the longest pause between two echoed bytes
constexpr unsigned kPerByteMs = 50;
constexpr unsigned kConstantMs = 100;
constexpr unsigned TransferLimitMs(std::size_t bytes) {
    return static_cast<unsigned>(bytes) * kPerByteMs + kConstantMs;
}
} // namespace LineTiming

enum class EchoOutcome { kConfirmed, kWriteFailed, kNoEcho, kShortEcho, kChangedEcho, kLineLost };

struct EchoResult {
    EchoOutcome outcome;
    std::size_t received;
};

// An upload counts only when the whole frame comes back unchanged.
EchoResult JudgeEcho(const UploadFrame& sent, const std::uint8_t* echo, std::size_t received);
const char* EchoOutcomeName(EchoOutcome outcome);
std::string DescribeEcho(const EchoResult& result);
