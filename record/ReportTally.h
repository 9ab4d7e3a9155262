#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "record/RecordEntry.h"
#include "record/RecordSource.h"
#include "record/ReportWords.h"

// What the report counts of a record: its attempts in the order of their times, whatever the
// order of files and lines; its units, told apart by their labels, each with its attempts and its
// last one, which decides whether the unit counts as confirmed; the record's first and last time
// and the programs that wrote it. An attempt is kept as its place, time and outcome alone; a form
// that shows more of it reads it again from the record.
namespace ReportParts {

constexpr std::uint32_t kNoUnit = ~std::uint32_t{0};

struct Attempt {
    // The time's digits, YYYYMMDDhhmmssmmm, where it has its one form (whose order as text is
    // this number's); otherwise -1 less the index of its text in Tally::otherTimes.
    std::int64_t time = 0;
    AttemptPlace place;
    std::uint32_t unit = kNoUnit; // in Tally::units
    // An EchoOutcome; a later program's outcome as -1 less the index of its name in
    // Tally::otherOutcomes.
    std::int32_t outcome = 0;
};

struct UnitTally {
    const std::string* unit; // the key of Tally::unitIndex
    std::size_t attempts = 0;
    std::size_t last = 0; // in Tally::byTime
};

struct Tally {
    // Every attempt by its time; attempts of the same time in the order of the record's lines.
    std::vector<Attempt> byTime;
    std::vector<UnitTally> units; // in the order of their first attempt
    std::map<std::string, std::uint32_t, std::less<>> unitIndex;
    std::vector<std::string> otherTimes;
    std::vector<std::string> otherOutcomes;
    std::size_t unitsConfirmed = 0;
    std::size_t attempts = 0;
    std::size_t confirmed = 0;
    std::size_t unnamed = 0;
    std::size_t leftOut = 0;
    std::string first; // times compare as text in their one form
    std::string last;
    std::vector<std::string> programs;
    std::optional<RecordChains> chains; // the source's
};

// Reads the whole record once.
Tally TallyOf(RecordSource& source);

bool Confirmed(const RecordEntry& entry);
bool Confirmed(const Attempt& attempt);
const Attempt& LastOf(const Tally& tally, const UnitTally& unit);
// Whether a failed attempt's unit was confirmed afterwards: its verdict is a later attempt's.
bool ConfirmedLater(const Tally& tally, const Attempt& attempt);
// The attempt's time and outcome as its line has them.
std::string TimeOf(const Tally& tally, const Attempt& attempt);
std::string SayOutcome(Language language, const Tally& tally, const Attempt& attempt);

// A fact of the report's header or summary, as its word and its value.
using Row = std::pair<Word, std::string>;
// The record's first and last time and the programs that wrote it.
// What the record's chains say, where they were checked, in the language's words.
std::vector<Row> HeaderRows(const Tally& tally, Language language);
// The counts of units and attempts.
std::vector<Row> SummaryRows(const Tally& tally);

// Text gathered into pieces of about kPiece bytes before it goes to the sink.
class Pieces {
public:
    static constexpr std::size_t kPiece = std::size_t{1} << 16;

    explicit Pieces(const ReportSink& out) : out_(out) {}
    Pieces& operator+=(std::string_view text) {
        text_.append(text.data(), text.size());
        if (text_.size() >= kPiece) {
            Flush();
        }
        return *this;
    }
    void Flush() {
        if (!text_.empty()) {
            out_(text_);
            text_.clear();
        }
    }

private:
    const ReportSink& out_;
    std::string text_;
};

// "2025-03-04T09:15:02.123Z" as "2025-03-04 09:15:02", followed by " UTC" where no heading
// says so; any other form as it is.
std::string ShownTime(const std::string& time, bool zone = false);
// The attempt's milliseconds; empty where the line has none.
std::string MsText(const RecordEntry& entry);

} // namespace ReportParts
