// The report as a workbook: what goes into which cell, and as what kind of cell.
#include "record/RecordReport.h"

#include "record/ReportTally.h"
#include "record/StationRecord.h"
#include "record/Workbook.h"

using namespace ReportParts;

namespace {

SheetCell Text(std::string text) {
    return {text.empty() ? SheetCell::Kind::kEmpty : SheetCell::Kind::kText, std::move(text)};
}

SheetCell Number(const std::optional<long long>& value) {
    return value ? SheetCell{SheetCell::Kind::kNumber, std::to_string(*value)} : SheetCell{};
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long long DaysFromCivil(long long year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

// The number of the digits text holds at [at, at + count); -1 where one is not a digit.
long long Digits(const std::string& text, std::size_t at, std::size_t count) {
    long long number = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return -1;
        }
        number = number * 10 + (text[i] - '0');
    }
    return number;
}

// A record's time, "2025-03-04T09:15:02.123Z", as a spreadsheet's date-time: days since
// 1899-12-30 with the day's fraction in twelve exact decimals (a thousandth of a second is
// 1/86,400,000 of a day). Any other text, or a date a spreadsheet cannot hold, stays text.
SheetCell Time(const std::string& time) {
    if (time.size() != 24 || time.compare(4, 1, "-") != 0 || time.compare(7, 1, "-") != 0 ||
        time.compare(10, 1, "T") != 0 || time.compare(13, 1, ":") != 0 ||
        time.compare(16, 1, ":") != 0 || time.compare(19, 1, ".") != 0 || time[23] != 'Z') {
        return Text(time);
    }
    const long long year = Digits(time, 0, 4), month = Digits(time, 5, 2), day = Digits(time, 8, 2),
                    hour = Digits(time, 11, 2), minute = Digits(time, 14, 2),
                    second = Digits(time, 17, 2), ms = Digits(time, 20, 3);
    const bool valid =
        year >= 1900 && month >= 1 && month <= 12 && day >= 1 && hour >= 0 && hour < 24 &&
        minute >= 0 && minute < 60 && second >= 0 && second < 60 && ms >= 0 &&
        day <= DaysFromCivil(year + month / 12, static_cast<unsigned>(month % 12 + 1), 1) -
                   DaysFromCivil(year, static_cast<unsigned>(month), 1);
    if (!valid) {
        return Text(time);
    }
    constexpr long long kMsPerDay = 86400000;
    long long remainder = ((hour * 60 + minute) * 60 + second) * 1000 + ms;
    std::string serial = std::to_string(DaysFromCivil(year, static_cast<unsigned>(month),
                                                      static_cast<unsigned>(day)) -
                                        DaysFromCivil(1899, 12, 30)) +
                         ".";
    for (int digit = 0; digit < 12; ++digit) {
        remainder *= 10;
        serial += static_cast<char>('0' + remainder / kMsPerDay);
        remainder %= kMsPerDay;
    }
    return {SheetCell::Kind::kTime, serial};
}

SheetRow Heading(Language language, const std::vector<Word>& words) {
    SheetRow row;
    for (const Word word : words) {
        row.push_back(Text(Say(language, word)));
    }
    return row;
}

void AttemptRows(Language language, RecordSource& source, const Tally& tally, SheetRows row) {
    SheetRow heading = Heading(
        language, {Word::kTime, Word::kUnit, Word::kPort, Word::kOutcome, Word::kMs, Word::kFrame});
    for (const ParameterField* field : RecordedFields()) {
        heading.push_back(Text(field->name));
    }
    row(heading);
    for (const Attempt& attempt : tally.byTime) {
        const RecordEntry entry = source.Read(attempt.place);
        SheetRow cells = {Time(entry.time), Text(entry.unit),
                          Text(entry.port), Text(SayOutcome(language, entry)),
                          Number(entry.ms), Text(entry.frame)};
        for (const std::optional<long long>& value : entry.values) {
            cells.push_back(Number(value));
        }
        row(cells);
    }
}

void UnitRows(Language language, RecordSource& source, const Tally& tally, SheetRows row) {
    row(Heading(language, {Word::kUnit, Word::kVerdict, Word::kAttempts, Word::kLastOutcome,
                           Word::kTime, Word::kPort}));
    for (const UnitTally& unit : tally.units) {
        const Attempt& last = LastOf(tally, unit);
        row({Text(*unit.unit),
             Text(Say(language, Confirmed(last) ? Word::kUnitConfirmed : Word::kNotConfirmed)),
             Number(static_cast<long long>(unit.attempts)), Text(SayOutcome(language, tally, last)),
             Time(TimeOf(tally, last)), Text(source.Read(last.place).port)});
    }
}

} // namespace

bool ReportXlsx(RecordSource& source, Language language, const ReportSink& out) {
    const Tally tally = TallyOf(source);
    const auto attempts = [&](SheetRows row) { AttemptRows(language, source, tally, row); };
    const auto units = [&](SheetRows row) { UnitRows(language, source, tally, row); };
    const std::vector<StationFinding> findings = StationFindings(source, language);
    const auto findingRows = [&](SheetRows row) {
        row(Heading(language, {Word::kFinding, Word::kUnitOrFile, Word::kStations, Word::kDetail}));
        for (const StationFinding& finding : findings) {
            row({Text(Say(language, finding.kind)), Text(finding.subject), Text(finding.stations),
                 Text(finding.detail)});
        }
    };
    std::vector<Sheet> sheets = {{Say(language, Word::kAttemptSheet), attempts},
                                 {Say(language, Word::kUnitList), units}};
    if (!findings.empty()) {
        sheets.push_back({Say(language, Word::kFindings), findingRows});
    }
    return XlsxFile(sheets, out);
}
