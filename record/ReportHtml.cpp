// The report as one self-contained page to print: its styles inline, no script, nothing fetched.
#include "record/RecordReport.h"

#include "record/LabelText.h"
#include "record/ReportTally.h"
#include "record/StationRecord.h"

#include <utility>

using namespace ReportParts;

namespace {

// Print CSS for both paper sizes: the margins fit A4 and Letter alike, the columns' shares of the
// width are fixed so that a long label wraps in its column instead of pushing the others off the
// page, a table's head repeats on every page, no unit or attempt is split between two, and the
// summary stays on one page. Page numbers go in the bottom margin.
constexpr char kStyle[] =
    "body{font:10pt/1.35 \"DejaVu Sans\",Arial,\"Microsoft YaHei\",\"PingFang SC\","
    "\"Noto Sans CJK SC\",sans-serif;color:#000;background:#fff;margin:1em auto;max-width:60em}"
    "@media print{body{margin:0;max-width:none}}"
    "h1{font-size:15pt;margin:0 0 4pt}h2{font-size:12pt;margin:14pt 0 4pt;break-after:avoid}"
    ".verdict{font-size:12pt;font-weight:bold;margin:0 0 4pt}p{margin:0 0 6pt}"
    "dl{display:grid;grid-template-columns:max-content auto;gap:1pt 10pt;margin:0}dd{margin:0}"
    "dd,td,p{overflow-wrap:anywhere}section{break-inside:avoid}"
    "table{border-collapse:collapse;width:100%;table-layout:fixed;font-size:9pt}"
    "thead{display:table-header-group}tbody{break-inside:avoid}"
    "th,td{border:.5pt solid #777;padding:2pt 4pt;text-align:left;vertical-align:top}"
    ".failed{font-weight:bold}.later{font-size:8pt;font-style:italic}"
    ".detail td{border-top:0;font-size:8pt}.detail span{white-space:nowrap}"
    ".frame{font-family:\"DejaVu Sans Mono\",Consolas,monospace}";

// Text as markup. Control characters are shown as the text summary shows them: a bidirectional
// override or a GS of a barcode label, printed as it is, makes one label read as another.
std::string Escaped(std::string_view text) {
    std::string escaped;
    for (const char c : EscapedControls(text)) {
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
std::vector<std::string> ValueTexts(Language language, const RecordEntry& entry) {
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
            (fits ? ValueText(field, static_cast<int>(*value), language) : std::to_string(*value)));
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

// A row across the whole table under the one before it: the values sent, or the frame.
std::string DetailRow(std::size_t columns, const std::string& content) {
    return "<tr class=\"detail\"><td colspan=\"" + std::to_string(columns) + "\">" + content +
           "</td></tr>";
}

// The tables' columns with their shares of the width (percent), whatever their content.
using Columns = std::vector<std::pair<Word, int>>;
const Columns kUnitColumns = {{Word::kUnit, 32},
                              {Word::kAttempts, 11},
                              {Word::kLastOutcome, 19},
                              {Word::kTime, 22},
                              {Word::kPort, 16}};
const Columns kFailedColumns = {
    {Word::kTime, 22}, {Word::kUnit, 30}, {Word::kPort, 16}, {Word::kOutcome, 22}, {Word::kMs, 10}};
const Columns kFindingColumns = {
    {Word::kFinding, 30}, {Word::kUnitOrFile, 22}, {Word::kStations, 16}, {Word::kDetail, 32}};

// A class for each share, since the page that prints the report allows no style attribute.
std::string ShareStyles() {
    std::string styles;
    for (const Columns* columns : {&kUnitColumns, &kFailedColumns, &kFindingColumns}) {
        for (const auto& column : *columns) {
            const std::string rule = ".w" + std::to_string(column.second) +
                                     "{width:" + std::to_string(column.second) + "%}";
            styles += styles.find(rule) == std::string::npos ? rule : "";
        }
    }
    return styles;
}

std::string TableHead(Language language, const Columns& columns) {
    std::string head = "<table>\n<colgroup>";
    std::vector<std::string> cells;
    for (const auto& [word, share] : columns) {
        head += "<col class=\"w" + std::to_string(share) + "\">";
        cells.push_back(Escaped(Say(language, word)));
    }
    return head + "</colgroup>\n<thead>" + HtmlRow(cells, "th") + "</thead>\n";
}

std::string Definitions(Language language, const std::vector<Row>& rows) {
    std::string list = "<dl>\n";
    for (const Row& row : rows) {
        list += "<dt>" + Escaped(Say(language, row.first)) + "</dt><dd>" + Escaped(row.second) +
                "</dd>\n";
    }
    return list + "</dl>\n";
}

std::string OutcomeCell(Language language, const Tally& tally, const Attempt& attempt) {
    const std::string words = Escaped(SayOutcome(language, tally, attempt));
    if (Confirmed(attempt)) {
        return words;
    }
    return "<span class=\"failed\">" + words + "</span>" +
           (ConfirmedLater(tally, attempt)
                ? "<br><span class=\"later\">" + Escaped(Say(language, Word::kConfirmedLater)) +
                      "</span>"
                : "");
}

// The units that are not confirmed first, each group in the order of first attempts.
std::vector<const UnitTally*> UnitsNotConfirmedFirst(const Tally& tally) {
    std::vector<const UnitTally*> units;
    for (const bool confirmed : {false, true}) {
        for (const UnitTally& unit : tally.units) {
            if (Confirmed(LastOf(tally, unit)) == confirmed) {
                units.push_back(&unit);
            }
        }
    }
    return units;
}

// The overall verdict, and the units that keep it from being whole.
void Verdict(Language language, const Tally& tally, Pieces& html) {
    if (tally.units.empty()) {
        return;
    }
    html +=
        "<p class=\"verdict\">" +
        Escaped(Say(language, tally.units.size() == 1 ? Word::kVerdictLineOne : Word::kVerdictLine,
                    std::to_string(tally.unitsConfirmed), std::to_string(tally.units.size()))) +
        "</p>\n";
    if (tally.unitsConfirmed == tally.units.size()) {
        return;
    }
    // Chinese takes its own colon, brackets and comma.
    const bool chinese = language == Language::kChinese;
    html += "<p><b>" + Escaped(Say(language, Word::kUnitsNotConfirmed)) + (chinese ? "：" : ": ") +
            "</b>";
    bool first = true;
    for (const UnitTally* unit : UnitsNotConfirmedFirst(tally)) {
        const Attempt& last = LastOf(tally, *unit);
        if (Confirmed(last)) {
            break;
        }
        html += (first     ? ""
                 : chinese ? "、"
                           : ", ") +
                Escaped(ShownLabel(*unit->unit)) + (chinese ? "（" : " (") +
                Escaped(SayOutcome(language, tally, last)) + (chinese ? "）" : ")");
        first = false;
    }
    html += "</p>\n";
}

// Each outcome's word and what it means.
std::string Legend(Language language) {
    std::string list = "<dl>\n";
    for (int outcome = 0; outcome <= static_cast<int>(EchoOutcome::kLineLost); ++outcome) {
        list += "<dt>" + Escaped(EchoOutcomeWord(static_cast<EchoOutcome>(outcome), language)) +
                "</dt><dd>" +
                Escaped(EchoOutcomeMeaning(static_cast<EchoOutcome>(outcome), language)) +
                "</dd>\n";
    }
    return list + "</dl>\n";
}

// One row per unit with its values on a line of their own below, the two kept on one page.
void UnitTable(Language language, RecordSource& source, const Tally& tally, Pieces& html) {
    html += TableHead(language, kUnitColumns);
    for (const UnitTally* unit : UnitsNotConfirmedFirst(tally)) {
        const Attempt& last = LastOf(tally, *unit);
        const RecordEntry entry = source.Read(last.place);
        std::string values;
        for (const std::string& value : ValueTexts(language, entry)) {
            values += (values.empty() ? "" : " ") + ("<span>" + Escaped(value) + "</span>");
        }
        html += "<tbody>" +
                HtmlRow({Escaped(ShownLabel(*unit->unit)), std::to_string(unit->attempts),
                         OutcomeCell(language, tally, last), Escaped(ShownTime(entry.time)),
                         Escaped(entry.port)}) +
                DetailRow(kUnitColumns.size(), values) + "</tbody>\n";
    }
    html += "</table>\n";
}

// The failed attempts by time, each with the frame it sent below it.
void FailedTable(Language language, RecordSource& source, const Tally& tally, Pieces& html) {
    if (tally.confirmed == tally.attempts) {
        html += "<p>" + Escaped(Say(language, Word::kNone)) + "</p>\n";
        return;
    }
    html += TableHead(language, kFailedColumns);
    for (const Attempt& attempt : tally.byTime) {
        if (Confirmed(attempt)) {
            continue;
        }
        const RecordEntry entry = source.Read(attempt.place);
        html +=
            "<tbody>" +
            HtmlRow({Escaped(ShownTime(entry.time)), Escaped(ShownLabel(entry.unit)),
                     Escaped(entry.port), OutcomeCell(language, tally, attempt), MsText(entry)}) +
            DetailRow(kFailedColumns.size(), "<span>" + Escaped(Say(language, Word::kFrame)) +
                                                 "</span> <span class=\"frame\">" +
                                                 Escaped(entry.frame) + "</span>") +
            "</tbody>\n";
    }
    html += "</table>\n";
}

// "Page 2 of 5" in the bottom margin of every page, in the report's language.
std::string PageRule(Language language) {
    const std::string words =
        Say(language, Word::kPageOf, "\" counter(page) \"", "\" counter(pages) \"");
    return "@page{margin:12mm 12mm 16mm;@bottom-right{font:8pt sans-serif;content:\"" + words +
           "\"}}";
}

std::string Heading(Language language, Word word) {
    return "<h2>" + Escaped(Say(language, word)) + "</h2>\n";
}

} // namespace

void ReportHtml(RecordSource& source, Language language, std::string_view madeBy,
                std::string_view madeAt, const ReportSink& out) {
    const Tally tally = TallyOf(source);
    const std::string title = Escaped(Say(language, Word::kTitle));
    Pieces html(out);
    html += std::string("<!DOCTYPE html>\n<html lang=\"") +
            (language == Language::kChinese ? "zh-Hans" : "en") +
            "\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + title + "</title>\n<style>" +
            PageRule(language) + kStyle + ShareStyles() + "</style>\n</head>\n<body>\n<h1>" +
            title + "</h1>\n";
    Verdict(language, tally, html);
    std::vector<Row> header = HeaderRows(tally, language);
    header.push_back({Word::kMadeBy, std::string(madeBy)});
    header.push_back({Word::kMadeOn, ShownTime(std::string(madeAt), true)});
    html += Definitions(language, header) + Heading(language, Word::kLegend) + Legend(language);

    html += Heading(language, Word::kUnitList);
    if (tally.units.empty()) {
        html += "<p>" + Escaped(Say(language, Word::kNone)) + "</p>\n";
    } else {
        UnitTable(language, source, tally, html);
    }
    html += Heading(language, Word::kFailedAttempts);
    FailedTable(language, source, tally, html);
    const std::vector<StationFinding> findings = StationFindings(source, language);
    if (!findings.empty()) {
        html += Heading(language, Word::kFindings) + TableHead(language, kFindingColumns);
        for (const StationFinding& finding : findings) {
            html += "<tbody>" +
                    HtmlRow({Escaped(Say(language, finding.kind)),
                             // A file's name as it is; a unit's label as the unit table shows it.
                             Escaped(finding.kind == Word::kGap ? finding.subject
                                                                : ShownLabel(finding.subject)),
                             Escaped(finding.stations), Escaped(finding.detail)}) +
                    "</tbody>\n";
        }
        html += "</table>\n";
    }
    html += "<section>\n" + Heading(language, Word::kSummary) +
            Definitions(language, SummaryRows(tally)) + "</section>\n";
    html += "</body>\n</html>\n";
    html.Flush();
}
