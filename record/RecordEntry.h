#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/EchoRule.h"
#include "model/ParameterTable.h"

// The longest unit label a face takes, in characters; 0: labels have no limit. Where one is set,
// the tool's --help and man page and the page's Unit field say it, and the tool refuses a longer
// label before anything is sent.
inline constexpr std::size_t kUnitLabelLimit = 0;

// The commissioning record: one JSON line per upload attempt, the same from the tool's --log and
// the page (docs/record.md). Lines of the first shape (time, port, frame, outcome, ms) still read.
struct RecordEntry {
    std::string time; // UTC, as 2025-03-04T09:15:02.123Z
    std::string unit; // the unit's label; empty when none was given
    std::string port;
    std::string frame; // 38 hex digits
    // How the attempt ended: nothing for an outcome this program does not know (a later
    // program's), whose name is then kept in otherOutcome.
    std::optional<EchoOutcome> outcome;
    std::string otherOutcome;
    std::optional<long long> ms;
    // The values sent, by the index of RecordedFields(); empty where the line has none.
    std::vector<std::optional<long long>> values;
    std::string program; // "vkd37 1.0.0.1", "vkd37.html 1.0.0.1"; empty in first-shape lines
    // What a station adds: the profile applied (its name and identity), the station's name, and
    // the chain: the SHA-256 of the line before it in its file (kChainStart on a file's first).
    // Empty where the line has none.
    std::string profile;
    std::string profileId;
    std::string station;
    std::string prev;
};

// The chain link of a file's first line: there is no line before it.
inline constexpr char kChainStart[] =
    "0000000000000000000000000000000000000000000000000000000000000000";

// The outcome as the entry's line names it.
std::string OutcomeName(const RecordEntry& entry);

// The fields a line's values hold, in the table's order: all but the port index, which no
// frame carries.
const std::vector<const ParameterField*>& RecordedFields();

// The entry of one attempt: the frame and the values from the set sent.
RecordEntry AttemptEntry(std::string time, std::string unit, std::string port,
                         const ParameterSet& sent, EchoOutcome outcome, long long ms,
                         std::string program);

// The entry as its line, without the line's end. Texts that are not UTF-8 are written with
// U+FFFD in their place.
std::string RecordLine(const RecordEntry& entry);

// The entry a line holds: a JSON object with the strings time and outcome at least; other
// members of another type than theirs are taken as absent, unknown members are skipped.
std::optional<RecordEntry> ReadRecordLine(std::string_view line);

struct CommissioningRecord {
    std::vector<RecordEntry> entries; // in the order of their lines
    std::size_t leftOut = 0;          // lines that hold no entry
    // Whether every file's chain held; nothing where no file has one (record/RecordChain.h).
    std::optional<bool> chainsHeld = std::nullopt;
};

// Adds the entries of a record's text to record; returns the numbers (from 1) of the lines left
// out, blank lines aside. A byte order mark and CR LF line ends are taken.
std::vector<std::size_t> ReadRecordText(std::string_view text, CommissioningRecord& record);
