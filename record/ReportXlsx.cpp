// The report as a workbook: what goes into which cell, and as what kind of cell.
#include "record/RecordReport.h"

#include <cstdio>

#include "record/ReportTally.h"
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

// A record's time, "2025-03-04T09:15:02.123Z", as a spreadsheet's date-time; any other text, or
// a date a spreadsheet cannot hold, as text.
SheetCell Time(const std::string& time) {
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
    char end = 0;
    const bool read = time.size() == 24 &&
                      std::sscanf(time.c_str(), "%4u-%2u-%2uT%2u:%2u:%2u.%3u%c", &year, &month,
                                  &day, &hour, &minute, &second, &ms, &end) == 8 &&
                      end == 'Z';
    const bool valid = read && year >= 1900 && month >= 1 && month <= 12 && day >= 1 &&
                       hour < 24 && minute < 60 && second < 60 &&
                       day <= DaysFromCivil(year + (month == 12 ? 1 : 0), month % 12 + 1, 1) -
                                  DaysFromCivil(year, month, 1);
    if (!valid) {
        return Text(time);
    }
    const long long days = DaysFromCivil(year, month, day) - DaysFromCivil(1899, 12, 30);
    const double fraction = ((hour * 60 + minute) * 60 + second) * 1000.0 + ms;
    char serial[32];
    std::snprintf(serial, sizeof serial, "%.17g", static_cast<double>(days) + fraction / 86400000.0);
    return {SheetCell::Kind::kTime, serial};
}

std::vector<SheetCell> Heading(Language language, const std::vector<Word>& words) {
    std::vector<SheetCell> row;
    for (const Word word : words) {
        row.push_back(Text(Say(language, word)));
    }
    return row;
}

Sheet AttemptSheet(Language language, const Tally& tally) {
    Sheet sheet{Say(language, Word::kAttemptSheet),
                {Heading(language, {Word::kTime, Word::kUnit, Word::kPort, Word::kOutcome,
                                    Word::kMs, Word::kFrame})}};
    for (const ParameterField* field : RecordedFields()) {
        sheet.rows[0].push_back(Text(field->name));
    }
    for (const RecordEntry* entry : tally.byTime) {
        std::vector<SheetCell> row = {Time(entry->time),        Text(entry->unit),
                                      Text(entry->port),        Text(SayOutcome(language, *entry)),
                                      Number(entry->ms),        Text(entry->frame)};
        for (const std::optional<long long>& value : entry->values) {
            row.push_back(Number(value));
        }
        sheet.rows.push_back(std::move(row));
    }
    return sheet;
}

Sheet UnitSheet(Language language, const Tally& tally) {
    Sheet sheet{Say(language, Word::kUnitList),
                {Heading(language, {Word::kUnit, Word::kVerdict, Word::kAttempts,
                                    Word::kLastOutcome, Word::kTime, Word::kPort})}};
    for (const UnitTally& unit : tally.units) {
        sheet.rows.push_back(
            {Text(*unit.unit),
             Text(Say(language, Confirmed(*unit.last) ? Word::kUnitConfirmed : Word::kNotConfirmed)),
             Number(static_cast<long long>(unit.attempts)), Text(SayOutcome(language, *unit.last)),
             Time(unit.last->time), Text(unit.last->port)});
    }
    return sheet;
}

} // namespace

std::string ReportXlsx(const CommissioningRecord& record, Language language) {
    const Tally tally = TallyOf(record);
    return XlsxFile({AttemptSheet(language, tally), UnitSheet(language, tally)});
}
