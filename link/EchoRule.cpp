#include "link/EchoRule.h"

#include <algorithm>

EchoResult JudgeEcho(const UploadFrame& sent, const std::uint8_t* echo, std::size_t received) {
    if (received == 0) {
        return {EchoOutcome::kNoEcho, 0};
    }
    if (received < sent.size()) {
        return {EchoOutcome::kShortEcho, received};
    }
    const bool same = std::equal(sent.begin(), sent.end(), echo);
    return {same ? EchoOutcome::kConfirmed : EchoOutcome::kChangedEcho, received};
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
    case EchoOutcome::kShortEcho:
        return "short echo (" + std::to_string(result.received) + " of 19 bytes)";
    case EchoOutcome::kChangedEcho:
        return "the echo differs from the frame";
    case EchoOutcome::kNoEcho:
        return "no echo";
    case EchoOutcome::kWriteFailed:
        return "the frame could not be written";
    case EchoOutcome::kLineLost:
        return "the line was lost";
    case EchoOutcome::kConfirmed:
        break;
    }
    return "confirmed";
}
