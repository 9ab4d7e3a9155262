#pragma once

#include <string>

// The report's words, in the page's two languages.

enum class ReportLanguage { kEnglish, kChinese };

namespace ReportParts {

enum class Word {
    kTitle,
    kFirstEntry,
    kLastEntry,
    kWrittenBy,
    kMadeBy,
    kUnit,
    kAttempts,
    kLastOutcome,
    kTime,
    kPort,
    kValues,
    kOutcome,
    kMs,
    kFrame,
    kFailedAttempts,
    kNone,
    kSummary,
    kUnitList,
    kUnits,
    kUnitsConfirmed,
    kUnitsNotConfirmed,
    kAttemptsConfirmed,
    kAttemptsFailed,
    kUnnamed,
    kLeftOut,
};

const char* Say(ReportLanguage language, Word word);
// An outcome as the page's log shows it; a later program's outcome, this one does not know, as
// it is named.
std::string SayOutcome(ReportLanguage language, const std::string& outcome);

} // namespace ReportParts
