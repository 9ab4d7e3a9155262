// The record as a spreadsheet's rows, one per attempt.
#include "record/RecordReport.h"

#include "record/ReportTally.h"

namespace {

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

} // namespace

void ReportCsv(RecordSource& source, const ReportSink& out) {
    const ReportParts::Tally tally = ReportParts::TallyOf(source);
    ReportParts::Pieces csv(out);
    csv += "\xEF\xBB\xBFtime,unit,port,outcome,ms,frame";
    for (const ParameterField* field : RecordedFields()) {
        csv += ",";
        csv += CsvField(field->name);
    }
    csv += "\r\n";
    for (const ReportParts::Attempt& attempt : tally.byTime) {
        const RecordEntry entry = source.Read(attempt.place);
        std::string row = CsvField(entry.time) + "," + CsvField(entry.unit) + "," +
                          CsvField(entry.port) + "," + CsvField(OutcomeName(entry)) + "," +
                          ReportParts::MsText(entry) + "," + CsvField(entry.frame);
        for (std::size_t i = 0; i < RecordedFields().size(); ++i) {
            const bool has = i < entry.values.size() && entry.values[i];
            row += "," + (has ? std::to_string(*entry.values[i]) : std::string());
        }
        csv += row + "\r\n";
    }
    csv.Flush();
}
