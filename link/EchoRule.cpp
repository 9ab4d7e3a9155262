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

namespace {

// Each outcome's name for scripts and logs, and its words for a person.
struct OutcomeText {
    EchoOutcome outcome;
    const char* name;
    const char* description;
};

constexpr OutcomeText kOutcomeTexts[] = {
    {EchoOutcome::kConfirmed, "confirmed", "confirmed"},
    {EchoOutcome::kWriteFailed, "write-failed", "failed: the frame could not be sent"},
    {EchoOutcome::kNoEcho, "no-echo", "failed: no echo"},
    {EchoOutcome::kShortEcho, "short-echo", "failed: short echo"},
    {EchoOutcome::kChangedEcho, "changed-echo", "failed: the echo differs from the frame"},
    {EchoOutcome::kLineLost, "line-lost", "failed: the line went away"},
};

const OutcomeText& TextOf(EchoOutcome outcome) {
    for (const OutcomeText& text : kOutcomeTexts) {
        if (text.outcome == outcome) {
            return text;
        }
    }
    return kOutcomeTexts[0]; // every outcome is listed
}

} // namespace

const char* EchoOutcomeName(EchoOutcome outcome) {
    return TextOf(outcome).name;
}

std::string DescribeEcho(const EchoResult& result) {
    std::string text = TextOf(result.outcome).description;
    if (result.outcome == EchoOutcome::kShortEcho) {
        text += " (" + std::to_string(result.received) + " of " +
                std::to_string(UploadFrame().size()) + " bytes)";
    }
    return text;
}
