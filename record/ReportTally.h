#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "record/RecordEntry.h"
#include "record/ReportWords.h"

// What the report counts of a record: its attempts in the order of their times, whatever the
// order of files and lines; its units, told apart by their labels, each with its attempts and its
// last one, which decides whether the unit counts as confirmed; the record's first and last time
// and the programs that wrote it.
namespace ReportParts {

struct UnitTally {
    const std::string* unit;
    std::size_t attempts = 0;
    const RecordEntry* last = nullptr;
};

struct Tally {
    // Every attempt by its time; attempts of the same time in the order of the record's lines.
    std::vector<const RecordEntry*> byTime;
    std::vector<UnitTally> units; // in the order of their first attempt
    std::map<std::string_view, std::size_t> unitIndex;
    std::size_t unitsConfirmed = 0;
    std::size_t attempts = 0;
    std::size_t confirmed = 0;
    std::size_t unnamed = 0;
    std::size_t leftOut = 0;
    std::string first; // times compare as text in their one form
    std::string last;
    std::vector<std::string> programs;
};

// The tally points into record, which must outlive it.
Tally TallyOf(const CommissioningRecord& record);

bool Confirmed(const RecordEntry& entry);
// Whether a failed attempt's unit was confirmed afterwards: its verdict is a later attempt's.
bool ConfirmedLater(const Tally& tally, const RecordEntry& entry);

// A fact of the report's header or summary, as its word and its value.
using Row = std::pair<Word, std::string>;
// The record's first and last time and the programs that wrote it.
std::vector<Row> HeaderRows(const Tally& tally);
// The counts of units and attempts.
std::vector<Row> SummaryRows(const Tally& tally);

// "2025-03-04T09:15:02.123Z" as "2025-03-04 09:15:02", followed by " UTC" where no heading
// says so; any other form as it is.
std::string ShownTime(const std::string& time, bool zone = false);
// The attempt's milliseconds; empty where the line has none.
std::string MsText(const RecordEntry& entry);

} // namespace ReportParts
