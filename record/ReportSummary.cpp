// The report as text for a terminal: the header's and the summary's facts, then each unit's last
// outcome, in columns.
#include "record/RecordReport.h"

#include <algorithm>

#include "record/LabelText.h"
#include "record/ReportTally.h"

using namespace ReportParts;

namespace {

using Cells = std::vector<std::string>;

// Each cell's control characters escaped, so that no label begins a line of its own.
Cells Shown(Cells cells) {
    for (std::string& cell : cells) {
        cell = EscapedControls(cell);
    }
    return cells;
}

void Widen(std::vector<std::size_t>& widths, const Cells& cells) {
    widths.resize(std::max(widths.size(), cells.size()));
    for (std::size_t i = 0; i < cells.size(); ++i) {
        widths[i] = std::max(widths[i], ColumnWidth(cells[i]));
    }
}

// A row of cells in columns two spaces apart, as wide as a terminal shows them.
std::string Line(const Cells& cells, const std::vector<std::size_t>& widths) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        line += cells[i];
        if (i + 1 < cells.size()) {
            line.append(widths[i] - ColumnWidth(cells[i]) + 2, ' ');
        }
    }
    return line + "\n";
}

} // namespace

void ReportSummary(RecordSource& source, Language language, const ReportSink& out) {
    const Tally tally = TallyOf(source);
    std::vector<Row> rows = HeaderRows(tally, language);
    for (Row& row : SummaryRows(tally)) {
        rows.push_back(std::move(row));
    }
    std::vector<Cells> facts;
    std::vector<std::size_t> widths;
    for (const Row& row : rows) {
        facts.push_back(Shown(
            {std::string(Say(language, row.first)) + (language == Language::kChinese ? "：" : ":"),
             row.second}));
        Widen(widths, facts.back());
    }
    std::string text = std::string(Say(language, Word::kTitle)) + "\n";
    for (const Cells& fact : facts) {
        text += Line(fact, widths);
    }
    out(text);
    if (tally.units.empty()) {
        return;
    }
    // The units' rows are made twice, for their widths and to be written, rather than held.
    const auto unitRow = [&](const UnitTally& unit) {
        const Attempt& last = LastOf(tally, unit);
        return Shown({ShownLabel(*unit.unit), std::to_string(unit.attempts),
                      SayOutcome(language, tally, last), ShownTime(TimeOf(tally, last))});
    };
    const Cells heading = {Say(language, Word::kUnit), Say(language, Word::kAttempts),
                           Say(language, Word::kLastOutcome), Say(language, Word::kTime)};
    widths.clear();
    Widen(widths, heading);
    for (const UnitTally& unit : tally.units) {
        Widen(widths, unitRow(unit));
    }
    Pieces pieces(out);
    pieces += "\n" + Line(heading, widths);
    for (const UnitTally& unit : tally.units) {
        pieces += Line(unitRow(unit), widths);
    }
    pieces.Flush();
}
