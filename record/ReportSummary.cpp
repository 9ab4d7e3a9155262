// The report as text for a terminal: the header's and the summary's facts, then each unit's last
// outcome, in columns.
#include "record/RecordReport.h"

#include <algorithm>

#include "record/LabelText.h"
#include "record/ReportTally.h"

using namespace ReportParts;

namespace {

// Rows of cells as columns two spaces apart, each cell's control characters escaped.
std::string Columns(std::vector<std::vector<std::string>> rows) {
    std::vector<std::size_t> widths;
    for (auto& row : rows) {
        for (std::string& cell : row) {
            cell = Escaped(cell);
        }
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], ColumnWidth(row[i]));
        }
    }
    std::string text;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line.append(widths[i] - ColumnWidth(row[i]) + 2, ' ');
            }
        }
        text += line + "\n";
    }
    return text;
}

} // namespace

std::string ReportSummary(const CommissioningRecord& record, Language language) {
    const Tally tally = TallyOf(record);
    std::vector<std::vector<std::string>> lines;
    std::vector<Row> rows = HeaderRows(tally);
    for (Row& row : SummaryRows(tally)) {
        rows.push_back(std::move(row));
    }
    for (const Row& row : rows) {
        lines.push_back(
            {std::string(Say(language, row.first)) + (language == Language::kChinese ? "：" : ":"),
             row.second});
    }
    std::string text = std::string(Say(language, Word::kTitle)) + "\n" + Columns(lines);
    if (tally.units.empty()) {
        return text;
    }
    std::vector<std::vector<std::string>> units = {
        {Say(language, Word::kUnit), Say(language, Word::kAttempts),
         Say(language, Word::kLastOutcome), Say(language, Word::kTime)}};
    for (const UnitTally& unit : tally.units) {
        units.push_back({*unit.unit, std::to_string(unit.attempts),
                         SayOutcome(language, *unit.last), ShownTime(unit.last->time)});
    }
    return text + "\n" + Columns(units);
}
