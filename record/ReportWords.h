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
    kVerdictLine,    // %1 the units confirmed, %2 all units
    kVerdictLineOne, // the same, of one unit
    kNotConfirmed,
    kLegend,
    kMadeOn,
    kConfirmedLater,
    kPageOf, // %1 this page, %2 the pages
    kVerdict,
    kUnitConfirmed,
    kAttemptSheet,
    kChains,
    kChainsHeld,
    kChainsBroken,
    kChainsNotEveryFile,
    kChainsNone,
    kFindings,
    kFinding,
    kConflict,
    kOffProfile,
    kGap,
    kUnitOrFile,
    kStations,
    kDetail,
    kAtLine,      // %1 the line's number
    kLinesCut,    // %1 how many
    kLinesCutOne, // the same, of one
    // The summary's lines of the stations' records.
    kByProfile,
    kNoProfile,
    kOffProfileUnits,
    kConflictUnits,
    kNoStationNamed,
    kRecordFiles,
    kOfStations, // %1 the stations
    kGapMark,
    kLinesRepeated,    // %1 how many
    kLinesRepeatedOne, // the same, of one
    // A file's chain.
    kChainNoLinks,
    kChainNoEntries,
    kChainHolds,
    kChainEarlier,   // %1 how many
    kChainCutShort,  // %1 the line
    kChainCutShorts, // %1 the first line
    kChainHead,      // %1 the head, %2 its line
    kBreakChanged,
    kBreakReplaced,
    kBreakInserted,
    kBreakOutOfOrder,
    kBreakUnlinked,
    kBreakStartGone,
    kBreakStray,
    kBreakUnfitStart,
    kBreakTooLong,
    kBreakBetween, // %1 the line before, %2 the line
};

const char* Say(Language language, Word word);
// A count and its words: `one` for one, `many` for any other count.
std::string SayCount(Language language, Word many, Word one, std::size_t count);
// A word with its places %1 and %2 filled, each wherever it stands.
std::string Say(Language language, Word word, const std::string& first,
                const std::string& second = "");
// ": ", "; " or ", " as the language writes it between the parts of a line.
const char* Mark(Language language, char mark);
// The entry's outcome as the page's log shows it; a later program's, which this one does not
// know, as its line names it.
std::string SayOutcome(Language language, const RecordEntry& entry);

} // namespace ReportParts
