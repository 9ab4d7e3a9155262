#include "link/EchoRule.h"

#include <algorithm>

EchoResult JudgeEcho(const UploadFrame& sent, const std::uint8_t* echo, std::size_t received) {
    if (received == 0) {
        return {EchoOutcome::kNoEcho, 0};
    }
    if (received < sent.size()) {
        return {EchoOutcome::kShortEcho, received};
    }
    // Bytes after the 19th are not part of this echo.
    const bool same = std::equal(sent.begin(), sent.end(), echo);
    return {same ? EchoOutcome::kConfirmed : EchoOutcome::kChangedEcho, sent.size()};
}

const char* EchoOutcomeName(EchoOutcome outcome) {
    switch (outcome) {
    case EchoOutcome::kConfirmed:
        return "confirmed";
    case EchoOutcome::kWriteFailed:
        return "write-failed";
    case EchoOutcome::kNoEcho:
        return "no-echo";
    case EchoOutcome::kShortEcho:
        return "short-echo";
    case EchoOutcome::kChangedEcho:
        return "changed-echo";
    case EchoOutcome::kLineLost:
        return "line-lost";
    }
    return "unknown";
}

std::string DescribeEcho(const EchoResult& result) {
    switch (result.outcome) {
    case EchoOutcome::kConfirmed:
        return "confirmed";
    case EchoOutcome::kWriteFailed:
        return "failed: the frame could not be sent";
    case EchoOutcome::kNoEcho:
        return "failed: no echo";
    case EchoOutcome::kShortEcho:
        return "failed: short echo (" + std::to_string(result.received) + " of " +
               std::to_string(UploadFrame().size()) + " bytes)";
    case EchoOutcome::kChangedEcho:
        return "failed: the echo differs from the frame";
    case EchoOutcome::kLineLost:
        return "failed: the line went away";
    }
    return "failed";
}
