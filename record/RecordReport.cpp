// The report's forms of a record held whole, as the page and the tests have it: each form written
// to one string.
#include "record/RecordReport.h"

namespace {

template <class Form> std::string Written(const CommissioningRecord& record, Form form) {
    RecordInMemory source(record);
    std::string text;
    form(source, [&text](std::string_view piece) { text.append(piece.data(), piece.size()); });
    return text;
}

} // namespace

std::string ReportSummary(const CommissioningRecord& record, Language language) {
    return Written(record, [language](RecordSource& source, const ReportSink& out) {
        ReportSummary(source, language, out);
    });
}

std::string ReportCsv(const CommissioningRecord& record) {
    return Written(record,
                   [](RecordSource& source, const ReportSink& out) { ReportCsv(source, out); });
}

std::string ReportXlsx(const CommissioningRecord& record, Language language) {
    return Written(record, [language](RecordSource& source, const ReportSink& out) {
        ReportXlsx(source, language, out);
    });
}

std::string ReportHtml(const CommissioningRecord& record, Language language,
                       std::string_view madeBy, std::string_view madeAt) {
    return Written(record, [&](RecordSource& source, const ReportSink& out) {
        ReportHtml(source, language, madeBy, madeAt, out);
    });
}
