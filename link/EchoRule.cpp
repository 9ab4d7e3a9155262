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

// Each outcome's name for scripts and records, and its words for a person in the order of
// Language: the word of a log's column, the reason an upload failed, and what it means to
// someone reading a report.
struct OutcomeText {
    EchoOutcome outcome;
    const char* name;
    const char* word[2];
    const char* reason[2];
    const char* meaning[2];
};

constexpr OutcomeText kOutcomeTexts[] = {
    {EchoOutcome::kConfirmed,
     "confirmed",
     {"confirmed", "成功"},
     {"confirmed", "成功"},
     {"the controller echoed the frame unchanged: it holds these values",
      "控制器原样回传了数据帧：参数已写入"}},
    {EchoOutcome::kWriteFailed,
     "write-failed",
     {"not sent", "未发送"},
     {"the frame could not be sent", "数据帧无法发送"},
     {"the frame could not be sent whole", "数据帧未能完整发送"}},
    {EchoOutcome::kNoEcho,
     "no-echo",
     {"no echo", "无回传"},
     {"no echo", "无回传"},
     {"nothing came back within the time-out", "超时内没有收到回传"}},
    {EchoOutcome::kShortEcho,
     "short-echo",
     {"short echo", "回传不完整"},
     {"short echo", "回传不完整"},
     {"part of the frame came back", "只收到部分回传"}},
    {EchoOutcome::kChangedEcho,
     "changed-echo",
     {"echo differs", "回传不一致"},
     {"the echo differs from the frame", "回传与数据帧不一致"},
     {"the echo differs from the frame sent", "回传与发送的数据帧不一致"}},
    {EchoOutcome::kLineLost,
     "line-lost",
     {"line lost", "线路断开"},
     {"the line went away", "线路断开"},
     {"the port went away during the upload", "上传过程中端口断开"}},
};

// How much of a short echo came, around its two numbers: " (18 of 19 bytes)"; by Language.
constexpr const char* kReceivedOf[][3] = {{" (", " of ", " bytes)"}, {"（收到 ", "/", " 字节）"}};

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

std::optional<EchoOutcome> EchoOutcomeNamed(std::string_view name) {
    for (const OutcomeText& text : kOutcomeTexts) {
        if (name == text.name) {
            return text.outcome;
        }
    }
    return std::nullopt;
}

const char* EchoOutcomeWord(EchoOutcome outcome, Language language) {
    return TextOf(outcome).word[static_cast<int>(language)];
}

const char* EchoOutcomeMeaning(EchoOutcome outcome, Language language) {
    return TextOf(outcome).meaning[static_cast<int>(language)];
}

std::string EchoReason(const EchoResult& result, Language language) {
    std::string text = TextOf(result.outcome).reason[static_cast<int>(language)];
    if (result.outcome == EchoOutcome::kShortEcho) {
        const char* const* around = kReceivedOf[static_cast<int>(language)];
        text += around[0] + std::to_string(result.received) + around[1] +
                std::to_string(UploadFrame().size()) + around[2];
    }
    return text;
}

std::string DescribeEcho(const EchoResult& result) {
    const std::string reason = EchoReason(result, Language::kEnglish);
    return result.outcome == EchoOutcome::kConfirmed ? reason : "failed: " + reason;
}
