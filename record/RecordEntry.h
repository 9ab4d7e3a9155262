#pragma once

#include <cstddef>
#include <cstdint>
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

// What the record's files say of their chains (record/RecordChain.h).
enum class RecordChains {
    kHeld,         // every file has a chain, and it held
    kBroken,       // a file's chain broke
    kNotEveryFile, // the chains there are held; some files have none (written before the chain)
    kNone,         // no file has a chain
};

struct CommissioningRecord {
    std::vector<RecordEntry> entries; // in the order of their lines
    std::size_t leftOut = 0;          // lines that hold no entry
    // Nothing where the files were not checked.
    std::optional<RecordChains> chains = std::nullopt;
};

// Adds the entries of a record's text to record; returns the numbers (from 1) of the lines left
// out, blank lines aside. Byte order marks and CR LF line ends are taken.
std::vector<std::size_t> ReadRecordText(std::string_view text, CommissioningRecord& record);

// The lines of one record file, its text given a piece at a time, so that no more of it than a
// line is held: each line without its line feed (a CR before it stays; a reader takes it), its
// number from 1 and where it begins. A byte order mark at a line's start is skipped, at the file's
// start or amid it (a file joined from two, the second marked), as the chain hashes the line
// without it: a line read so is the entry the chain covers. A line longer than
// any record line can be (kLongestLine) is not held: it comes as `whole` false, and is left out.
class RecordLines {
public:
    static constexpr std::size_t kLongestLine = std::size_t{16} << 20;

    struct Line {
        std::string_view text;
        bool whole = true;
        std::size_t number = 0;
        std::uint64_t offset = 0;
    };

    template <class Take> void Add(std::string_view piece, Take take);
    // The last line, when the text does not end with a line feed.
    template <class Take> void End(Take take);

private:
    template <class Take> void Emit(Take take);

    std::string partial_;
    bool overlong_ = false;
    std::uint64_t read_ = 0; // bytes taken so far
    std::uint64_t lineStart_ = 0;
    std::size_t number_ = 0;
};

template <class Take> void RecordLines::Add(std::string_view piece, Take take) {
    while (!piece.empty()) {
        const std::size_t end = piece.find('\n');
        const std::string_view part = piece.substr(0, end);
        if (!overlong_ && partial_.size() + part.size() <= kLongestLine) {
            partial_.append(part.data(), part.size());
        } else {
            overlong_ = true;
            partial_.clear();
        }
        read_ += part.size();
        if (end == std::string_view::npos) {
            return;
        }
        Emit(take);
        piece.remove_prefix(end + 1);
        lineStart_ = ++read_;
    }
}

template <class Take> void RecordLines::End(Take take) {
    if (!partial_.empty() || overlong_) {
        Emit(take);
    }
}

template <class Take> void RecordLines::Emit(Take take) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    std::string_view text = partial_;
    std::uint64_t offset = lineStart_;
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        text.remove_prefix(kByteOrderMark.size());
        offset += kByteOrderMark.size();
    }
    take(Line{text, !overlong_, ++number_, offset});
    partial_.clear();
    overlong_ = false;
}
