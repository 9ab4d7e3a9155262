// The report as one self-contained page to print: its styles inline, no script, nothing fetched.
#include "record/RecordReport.h"

#include "record/ReportTally.h"

using namespace ReportParts;

namespace {

// Print CSS for both paper sizes: the margins fit A4 and Letter alike, a table's head repeats on
// every page and no row is split between two.
constexpr char kStyle[] =
    "@page{margin:12mm}"
    "body{font:10pt/1.35 \"DejaVu Sans\",Arial,\"Microsoft YaHei\",\"PingFang SC\","
    "\"Noto Sans CJK SC\",sans-serif;color:#000;background:#fff;margin:1em auto;max-width:60em}"
    "@media print{body{margin:0;max-width:none}}"
    "h1{font-size:15pt;margin:0 0 6pt}h2{font-size:12pt;margin:14pt 0 4pt;break-after:avoid}"
    "dl{display:grid;grid-template-columns:max-content auto;gap:1pt 10pt;margin:0}dd{margin:0}"
    "table{border-collapse:collapse;width:100%}thead{display:table-header-group}"
    "tr,tbody{break-inside:avoid}th,td{border:.5pt solid #777;padding:2pt 4pt;text-align:left;"
    "vertical-align:top}th,.nowrap{white-space:nowrap}"
    ".failed{font-weight:bold}.values td{border-top:0;font-size:8pt}"
    ".values span{white-space:nowrap}"
    ".frame{font:8pt monospace;word-break:break-all}";

std::string Escaped(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\'':
            escaped += "&#39;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

// The values as NAME=VALUE, the form --set takes, with the words of sources and flags.
std::vector<std::string> ValueTexts(const RecordEntry& entry) {
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < entry.values.size() && i < RecordedFields().size(); ++i) {
        const std::optional<long long>& value = entry.values[i];
        if (!value) {
            continue;
        }
        const ParameterField& field = *RecordedFields()[i];
        const bool fits = *value >= -2147483647LL - 1 && *value <= 2147483647LL;
        texts.push_back(
            std::string(field.name) + "=" +
            (fits ? ValueText(field, static_cast<int>(*value)) : std::to_string(*value)));
    }
    return texts;
}

// One table row; heading cells with th.
std::string HtmlRow(const std::vector<std::string>& cells, const char* tag = "td") {
    std::string row = "<tr>";
    for (const std::string& cell : cells) {
        row += std::string("<") + tag + ">" + cell + "</" + tag + ">";
    }
    return row + "</tr>\n";
}

std::string HeadRow(Language language, const std::vector<Word>& heads) {
    std::vector<std::string> cells;
    for (const Word word : heads) {
        cells.push_back(Escaped(Say(language, word)));
    }
    return HtmlRow(cells, "th");
}

std::string HtmlTable(Language language, const std::vector<Word>& heads,
                      const std::vector<std::vector<std::string>>& rows) {
    std::string table = "<table>\n<thead>" + HeadRow(language, heads) + "</thead>\n<tbody>\n";
    for (const auto& row : rows) {
        table += HtmlRow(row);
    }
    return table + "</tbody>\n</table>\n";
}

std::string Definitions(Language language, const std::vector<Row>& rows) {
    std::string list = "<dl>\n";
    for (const Row& row : rows) {
        list += "<dt>" + Escaped(Say(language, row.first)) + "</dt><dd>" + Escaped(row.second) +
                "</dd>\n";
    }
    return list + "</dl>\n";
}

std::string OutcomeCell(Language language, const RecordEntry& entry) {
    const std::string words = Escaped(SayOutcome(language, entry));
    return Confirmed(entry) ? words : "<span class=\"failed\">" + words + "</span>";
}

// Labels and times read badly broken at their hyphens and spaces.
std::string Unbroken(const std::string& text) {
    return "<span class=\"nowrap\">" + Escaped(text) + "</span>";
}

// One row per unit with its values on a line of their own below, the two kept on one page.
std::string UnitTable(Language language, const Tally& tally) {
    const std::vector<Word> heads = {Word::kUnit, Word::kAttempts, Word::kLastOutcome, Word::kTime,
                                     Word::kPort};
    const std::string across = "<td colspan=\"" + std::to_string(heads.size()) + "\">";
    std::string table = "<table>\n<thead>" + HeadRow(language, heads) + "<tr><th colspan=\"" +
                        std::to_string(heads.size()) + "\">" +
                        Escaped(Say(language, Word::kValues)) + "</th></tr></thead>\n";
    for (const UnitTally& unit : tally.units) {
        // Each NAME=VALUE whole on its line.
        std::string values;
        for (const std::string& value : ValueTexts(*unit.last)) {
            values += (values.empty() ? "" : " ") + ("<span>" + Escaped(value) + "</span>");
        }
        table += "<tbody>" +
                 HtmlRow({Unbroken(*unit.unit), std::to_string(unit.attempts),
                          OutcomeCell(language, *unit.last), Unbroken(ShownTime(unit.last->time)),
                          Escaped(unit.last->port)}) +
                 "<tr class=\"values\">" + across + values + "</td></tr></tbody>\n";
    }
    return table + "</table>\n";
}

} // namespace

std::string ReportHtml(const CommissioningRecord& record, Language language,
                       std::string_view madeBy) {
    const Tally tally = TallyOf(record);
    const std::string title = Escaped(Say(language, Word::kTitle));
    std::string html = std::string("<!DOCTYPE html>\n<html lang=\"") +
                       (language == Language::kChinese ? "zh-Hans" : "en") +
                       "\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + title +
                       "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n<h1>" + title +
                       "</h1>\n";
    std::vector<Row> header = HeaderRows(tally);
    header.push_back({Word::kMadeBy, std::string(madeBy)});
    html += Definitions(language, header);

    html += "<h2>" + Escaped(Say(language, Word::kUnitList)) + "</h2>\n";
    if (tally.units.empty()) {
        html += "<p>" + Escaped(Say(language, Word::kNone)) + "</p>\n";
    } else {
        html += UnitTable(language, tally);
    }

    html += "<h2>" + Escaped(Say(language, Word::kFailedAttempts)) + "</h2>\n";
    std::vector<std::vector<std::string>> failed;
    for (const RecordEntry& entry : record.entries) {
        if (!Confirmed(entry)) {
            failed.push_back({Unbroken(ShownTime(entry.time)), Unbroken(entry.unit),
                              Escaped(entry.port), OutcomeCell(language, entry), MsText(entry),
                              "<span class=\"frame\">" + Escaped(entry.frame) + "</span>"});
        }
    }
    html += failed.empty() ? "<p>" + Escaped(Say(language, Word::kNone)) + "</p>\n"
                           : HtmlTable(language,
                                       {Word::kTime, Word::kUnit, Word::kPort, Word::kOutcome,
                                        Word::kMs, Word::kFrame},
                                       failed);

    html += "<h2>" + Escaped(Say(language, Word::kSummary)) + "</h2>\n" +
            Definitions(language, SummaryRows(tally));
    return html + "</body>\n</html>\n";
}
