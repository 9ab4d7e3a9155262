#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/UploadFrame.h"
#include "model/Language.h"

// The line and its time-outs, the same for the dialog, the tool, the simulator and the page:
// 9600 baud 8N1, queues of 1024 bytes; a write or a read of n bytes may take 50 ms per byte plus
// 100 ms, and a read also ends when more than 100 ms pass between two bytes.
namespace LineTiming {
constexpr unsigned kBaudRate = 9600;
constexpr unsigned kBitsPerByte = 10; // start, 8 data, stop
constexpr unsigned kQueueSize = 1024;
constexpr unsigned kIntervalMs = 100;
constexpr unsigned kPerByteMs = 50;
constexpr unsigned kConstantMs = 100;
// With flow control holding output back a write can time out having moved nothing; a few such
// writes in a row mean the line is stuck.
constexpr int kMaxEmptyWrites = 3;

constexpr unsigned TransferLimitMs(std::size_t bytes) {
    return kPerByteMs * static_cast<unsigned>(bytes) + kConstantMs;
}

// How long `bytes` take on the wire.
constexpr std::chrono::nanoseconds WireTime(std::size_t bytes) {
    return std::chrono::nanoseconds(static_cast<long long>(bytes) * kBitsPerByte * 1000000000LL /
                                    kBaudRate);
}
} // namespace LineTiming

// How one exchange of a frame and its echo ended.
enum class EchoOutcome {
    kConfirmed,   // the 19 bytes came back unchanged
    kWriteFailed, // the frame did not go out whole
    kNoEcho,      // nothing came back within the time-outs
    kShortEcho,   // fewer than 19 bytes came back
    kChangedEcho, // 19 bytes came back, not all equal to the frame
    kLineLost,    // the device went away during the exchange
};

struct EchoResult {
    EchoOutcome outcome = EchoOutcome::kNoEcho;
    std::size_t received = 0; // echo bytes read, at most 19
};

// The echo rule: what one bounded read brought back, judged against the frame sent. Failures of
// the line itself (write failed, line lost) are the caller's to report.
EchoResult JudgeEcho(const UploadFrame& sent, const std::uint8_t* echo, std::size_t received);

// Each outcome as it is said, from one table for the tool, the report and the page:
// the name scripts and records see: "confirmed", "no-echo", ...
const char* EchoOutcomeName(EchoOutcome outcome);
// The outcome a name stands for; nothing for a name no outcome has (a later program's).
std::optional<EchoOutcome> EchoOutcomeNamed(std::string_view name);
// The outcome in a log's or a report's column: "confirmed", "no echo", "无回传", ...
const char* EchoOutcomeWord(EchoOutcome outcome, Language language);
// What the outcome means, for the legend of a report: "nothing came back within the time-out".
const char* EchoOutcomeMeaning(EchoOutcome outcome, Language language);
// Why an upload failed, for a person: "the echo differs from the frame", "short echo (18 of 19
// bytes)", "回传不完整（收到 18/19 字节）", ...
std::string EchoReason(const EchoResult& result, Language language);
// The outcome as the tool prints it: "confirmed", "failed: short echo (18 of 19 bytes)", ...
std::string DescribeEcho(const EchoResult& result);
