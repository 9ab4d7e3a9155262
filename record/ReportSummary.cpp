// The report as text for a terminal: the header's and the summary's facts, then each unit's last
// outcome, in columns.
#include "record/RecordReport.h"

#include <algorithm>
#include <cstdint>

#include "record/ReportTally.h"

using namespace ReportParts;

namespace {

// Columns in a terminal: characters of the wide East Asian ranges take two.
std::size_t Width(const std::string& text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        std::uint32_t code = lead;
        std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (length > 1 && i + length <= text.size()) {
            code = lead & (0x7F >> length);
            for (std::size_t k = 1; k < length; ++k) {
                code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
            }
        }
        const bool wide =
            (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
            (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
            (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
            (code >= 0xFFE0 && code <= 0xFFE6) || code >= 0x20000;
        width += wide ? 2 : 1;
        i += length;
    }
    return width;
}

// Rows of cells as columns two spaces apart.
std::string Columns(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], Width(row[i]));
        }
    }
    std::string text;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line.append(widths[i] - Width(row[i]) + 2, ' ');
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
    std::vector<Row> rows = HeaderRows(tally, language);
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
