#pragma once

#include <string>

#include "model/Language.h"
#include "record/RecordEntry.h"

// The report's words, in the page's two languages; an outcome's are the echo rule's.

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

const char* Say(Language language, Word word);
// The entry's outcome as the page's log shows it; a later program's, which this one does not
// know, as its line names it.
std::string SayOutcome(Language language, const RecordEntry& entry);

} // namespace ReportParts
