#include "record/RecordReport.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace {

// The report's words, in the page's two languages.
enum Word {
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
    kWordCount
};

// In the order of Word: English, Chinese.
constexpr const char* kWords[kWordCount][2] = {
    {"Commissioning report", "调试报告"},
    {"First entry", "首条记录"},
    {"Last entry", "末条记录"},
    {"Record written by", "记录来源"},
    {"Report made by", "报告生成程序"},
    {"Unit", "设备编号"},
    {"Attempts", "上传次数"},
    {"Last outcome", "最后结果"},
    {"Time (UTC)", "时间（UTC）"},
    {"Port", "端口"},
    {"Values", "参数值"},
    {"Outcome", "结果"},
    {"ms", "毫秒"},
    {"Frame", "数据帧"},
    {"Failed attempts", "失败的上传"},
    {"None.", "无。"},
    {"Summary", "汇总"},
    {"Units", "设备"},
    {"Units", "设备数"},
    {"Units confirmed (last attempt)", "确认成功的设备（以最后一次为准）"},
    {"Units not confirmed", "未确认的设备"},
    {"Attempts confirmed", "成功的上传"},
    {"Attempts failed", "失败的上传"},
    {"Attempts that name no unit", "未标明设备的上传"},
    {"Lines left out (not record entries)", "无法读取而略去的行"},
};

struct OutcomeWords {
    const char* name;
    const char* words[2];
};

// As the page's log shows them.
constexpr OutcomeWords kOutcomeWords[] = {
    {"confirmed", {"confirmed", "成功"}},
    {"write-failed", {"not sent", "未发送"}},
    {"no-echo", {"no echo", "无回传"}},
    {"short-echo", {"short echo", "回传不完整"}},
    {"changed-echo", {"echo differs", "回传不一致"}},
    {"line-lost", {"line lost", "线路断开"}},
};

const char* Say(ReportLanguage language, Word word) {
    return kWords[word][language == ReportLanguage::kChinese ? 1 : 0];
}

std::string SayOutcome(ReportLanguage language, const std::string& outcome) {
    for (const OutcomeWords& known : kOutcomeWords) {
        if (outcome == known.name) {
            return known.words[language == ReportLanguage::kChinese ? 1 : 0];
        }
    }
    return outcome; // a later program's outcome, as it is named
}

bool Confirmed(const RecordEntry& entry) {
    return entry.outcome == "confirmed";
}

// "2025-03-04T09:15:02.123Z" as "2025-03-04 09:15:02", followed by " UTC" where no heading
// says so; any other form as it is.
std::string ShownTime(const std::string& time, bool zone = false) {
    if (time.size() == 24 && time[10] == 'T' && time[19] == '.' && time[23] == 'Z') {
        return time.substr(0, 10) + " " + time.substr(11, 8) + (zone ? " UTC" : "");
    }
    return time;
}

struct UnitTally {
    const std::string* unit;
    std::size_t attempts = 0;
    const RecordEntry* last = nullptr;
};

struct Tally {
    std::vector<UnitTally> units; // in the order of their first attempt
    std::size_t unitsConfirmed = 0;
    std::size_t attempts = 0;
    std::size_t confirmed = 0;
    std::size_t unnamed = 0;
    std::size_t leftOut = 0;
    std::string first; // times compare as text in their one form
    std::string last;
    std::vector<std::string> programs;
};

Tally TallyOf(const CommissioningRecord& record) {
    Tally tally;
    tally.leftOut = record.leftOut;
    std::map<std::string_view, std::size_t> unitIndex;
    for (const RecordEntry& entry : record.entries) {
        ++tally.attempts;
        tally.confirmed += Confirmed(entry) ? 1 : 0;
        if (tally.first.empty() || entry.time < tally.first) {
            tally.first = entry.time;
        }
        if (entry.time > tally.last) {
            tally.last = entry.time;
        }
        if (!entry.program.empty()) {
            bool known = false;
            for (const std::string& program : tally.programs) {
                known = known || program == entry.program;
            }
            if (!known) {
                tally.programs.push_back(entry.program);
            }
        }
        if (entry.unit.empty()) {
            ++tally.unnamed;
            continue;
        }
        const auto found = unitIndex.emplace(entry.unit, tally.units.size());
        if (found.second) {
            tally.units.push_back({&entry.unit});
        }
        UnitTally& unit = tally.units[found.first->second];
        ++unit.attempts;
        unit.last = &entry;
    }
    for (const UnitTally& unit : tally.units) {
        tally.unitsConfirmed += Confirmed(*unit.last) ? 1 : 0;
    }
    return tally;
}

std::string Joined(const std::vector<std::string>& texts) {
    std::string joined;
    for (const std::string& text : texts) {
        joined += (joined.empty() ? "" : ", ") + text;
    }
    return joined;
}

// The header's lines and the summary's, as word and value.
using Row = std::pair<Word, std::string>;

std::vector<Row> HeaderRows(const Tally& tally) {
    std::vector<Row> rows;
    if (tally.attempts > 0) {
        rows.push_back({kFirstEntry, ShownTime(tally.first, true)});
        rows.push_back({kLastEntry, ShownTime(tally.last, true)});
    }
    if (!tally.programs.empty()) {
        rows.push_back({kWrittenBy, Joined(tally.programs)});
    }
    return rows;
}

std::vector<Row> SummaryRows(const Tally& tally) {
    std::vector<Row> rows = {
        {kUnits, std::to_string(tally.units.size())},
        {kUnitsConfirmed, std::to_string(tally.unitsConfirmed)},
        {kUnitsNotConfirmed, std::to_string(tally.units.size() - tally.unitsConfirmed)},
        {kAttempts, std::to_string(tally.attempts)},
        {kAttemptsConfirmed, std::to_string(tally.confirmed)},
        {kAttemptsFailed, std::to_string(tally.attempts - tally.confirmed)},
    };
    if (tally.unnamed > 0) {
        rows.push_back({kUnnamed, std::to_string(tally.unnamed)});
    }
    if (tally.leftOut > 0) {
        rows.push_back({kLeftOut, std::to_string(tally.leftOut)});
    }
    return rows;
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

// A label or port typed by someone is text in the spreadsheet, never a formula: one that begins
// as a formula would ("=", "+", "-", "@", a tab or CR) gets an apostrophe before it.
std::string CsvField(const std::string& text) {
    const bool formulaLike =
        !text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos;
    const std::string cell = formulaLike ? "'" + text : text;
    if (cell.find_first_of(",\"\r\n") == std::string::npos) {
        return cell;
    }
    std::string quoted = "\"";
    for (const char c : cell) {
        quoted += c == '"' ? "\"\"" : std::string(1, c);
    }
    return quoted + "\"";
}

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

// One table row; heading cells with th.
std::string HtmlRow(const std::vector<std::string>& cells, const char* tag = "td") {
    std::string row = "<tr>";
    for (const std::string& cell : cells) {
        row += std::string("<") + tag + ">" + cell + "</" + tag + ">";
    }
    return row + "</tr>\n";
}

std::string HeadRow(ReportLanguage language, const std::vector<Word>& heads) {
    std::vector<std::string> cells;
    for (const Word word : heads) {
        cells.push_back(Escaped(Say(language, word)));
    }
    return HtmlRow(cells, "th");
}

std::string HtmlTable(ReportLanguage language, const std::vector<Word>& heads,
                      const std::vector<std::vector<std::string>>& rows) {
    std::string table = "<table>\n<thead>" + HeadRow(language, heads) + "</thead>\n<tbody>\n";
    for (const auto& row : rows) {
        table += HtmlRow(row);
    }
    return table + "</tbody>\n</table>\n";
}

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

std::string Definitions(ReportLanguage language, const std::vector<Row>& rows) {
    std::string list = "<dl>\n";
    for (const Row& row : rows) {
        list += "<dt>" + Escaped(Say(language, row.first)) + "</dt><dd>" + Escaped(row.second) +
                "</dd>\n";
    }
    return list + "</dl>\n";
}

std::string OutcomeCell(ReportLanguage language, const RecordEntry& entry) {
    const std::string words = Escaped(SayOutcome(language, entry.outcome));
    return Confirmed(entry) ? words : "<span class=\"failed\">" + words + "</span>";
}

// Labels and times read badly broken at their hyphens and spaces.
std::string Unbroken(const std::string& text) {
    return "<span class=\"nowrap\">" + Escaped(text) + "</span>";
}

std::string MsText(const RecordEntry& entry) {
    return entry.ms ? std::to_string(*entry.ms) : "";
}

// One row per unit with its values on a line of their own below, the two kept on one page.
std::string UnitTable(ReportLanguage language, const Tally& tally) {
    const std::vector<Word> heads = {kUnit, kAttempts, kLastOutcome, kTime, kPort};
    const std::string across = "<td colspan=\"" + std::to_string(heads.size()) + "\">";
    std::string table = "<table>\n<thead>" + HeadRow(language, heads) + "<tr><th colspan=\"" +
                        std::to_string(heads.size()) + "\">" + Escaped(Say(language, kValues)) +
                        "</th></tr></thead>\n";
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

std::string ReportSummary(const CommissioningRecord& record, ReportLanguage language) {
    const Tally tally = TallyOf(record);
    std::vector<std::vector<std::string>> lines;
    std::vector<Row> rows = HeaderRows(tally);
    for (Row& row : SummaryRows(tally)) {
        rows.push_back(std::move(row));
    }
    for (const Row& row : rows) {
        lines.push_back({std::string(Say(language, row.first)) +
                             (language == ReportLanguage::kChinese ? "：" : ":"),
                         row.second});
    }
    std::string text = std::string(Say(language, kTitle)) + "\n" + Columns(lines);
    if (tally.units.empty()) {
        return text;
    }
    std::vector<std::vector<std::string>> units = {{Say(language, kUnit), Say(language, kAttempts),
                                                    Say(language, kLastOutcome),
                                                    Say(language, kTime)}};
    for (const UnitTally& unit : tally.units) {
        units.push_back({*unit.unit, std::to_string(unit.attempts),
                         SayOutcome(language, unit.last->outcome), ShownTime(unit.last->time)});
    }
    return text + "\n" + Columns(units);
}

std::string ReportCsv(const CommissioningRecord& record) {
    std::string csv = "\xEF\xBB\xBFtime,unit,port,outcome,ms,frame";
    for (const ParameterField* field : RecordedFields()) {
        csv += ",";
        csv += CsvField(field->name);
    }
    csv += "\r\n";
    for (const RecordEntry& entry : record.entries) {
        csv += CsvField(entry.time) + "," + CsvField(entry.unit) + "," + CsvField(entry.port) +
               "," + CsvField(entry.outcome) + "," + MsText(entry) + "," + CsvField(entry.frame);
        for (std::size_t i = 0; i < RecordedFields().size(); ++i) {
            const bool has = i < entry.values.size() && entry.values[i];
            csv += "," + (has ? std::to_string(*entry.values[i]) : std::string());
        }
        csv += "\r\n";
    }
    return csv;
}

std::string ReportHtml(const CommissioningRecord& record, ReportLanguage language,
                       std::string_view madeBy) {
    const Tally tally = TallyOf(record);
    const std::string title = Escaped(Say(language, kTitle));
    std::string html = std::string("<!DOCTYPE html>\n<html lang=\"") +
                       (language == ReportLanguage::kChinese ? "zh-Hans" : "en") +
                       "\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + title +
                       "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n<h1>" + title +
                       "</h1>\n";
    std::vector<Row> header = HeaderRows(tally);
    header.push_back({kMadeBy, std::string(madeBy)});
    html += Definitions(language, header);

    html += "<h2>" + Escaped(Say(language, kUnitList)) + "</h2>\n";
    if (tally.units.empty()) {
        html += "<p>" + Escaped(Say(language, kNone)) + "</p>\n";
    } else {
        html += UnitTable(language, tally);
    }

    html += "<h2>" + Escaped(Say(language, kFailedAttempts)) + "</h2>\n";
    std::vector<std::vector<std::string>> failed;
    for (const RecordEntry& entry : record.entries) {
        if (!Confirmed(entry)) {
            failed.push_back({Unbroken(ShownTime(entry.time)), Unbroken(entry.unit),
                              Escaped(entry.port), OutcomeCell(language, entry), MsText(entry),
                              "<span class=\"frame\">" + Escaped(entry.frame) + "</span>"});
        }
    }
    html += failed.empty()
                ? "<p>" + Escaped(Say(language, kNone)) + "</p>\n"
                : HtmlTable(language, {kTime, kUnit, kPort, kOutcome, kMs, kFrame}, failed);

    html += "<h2>" + Escaped(Say(language, kSummary)) + "</h2>\n" +
            Definitions(language, SummaryRows(tally));
    return html + "</body>\n</html>\n";
}
