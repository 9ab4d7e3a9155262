#include "record/ReportTally.h"

#include <algorithm>

namespace ReportParts {

namespace {

std::string Joined(const std::vector<std::string>& texts) {
    std::string joined;
    for (const std::string& text : texts) {
        joined += (joined.empty() ? "" : ", ") + text;
    }
    return joined;
}

} // namespace

bool Confirmed(const RecordEntry& entry) {
    return entry.outcome == EchoOutcome::kConfirmed;
}

Tally TallyOf(const CommissioningRecord& record) {
    Tally tally;
    tally.leftOut = record.leftOut;
    for (const RecordEntry& entry : record.entries) {
        tally.byTime.push_back(&entry);
    }
    // A unit's verdict is its latest attempt, wherever its line stands.
    std::stable_sort(tally.byTime.begin(), tally.byTime.end(),
                     [](const RecordEntry* a, const RecordEntry* b) { return a->time < b->time; });
    if (!tally.byTime.empty()) {
        tally.first = tally.byTime.front()->time;
        tally.last = tally.byTime.back()->time;
    }
    for (const RecordEntry* attempt : tally.byTime) {
        const RecordEntry& entry = *attempt;
        ++tally.attempts;
        tally.confirmed += Confirmed(entry) ? 1 : 0;
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
        const auto found = tally.unitIndex.emplace(entry.unit, tally.units.size());
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

bool ConfirmedLater(const Tally& tally, const RecordEntry& entry) {
    const auto found = tally.unitIndex.find(entry.unit);
    return !Confirmed(entry) && found != tally.unitIndex.end() &&
           Confirmed(*tally.units[found->second].last);
}

std::vector<Row> HeaderRows(const Tally& tally) {
    std::vector<Row> rows;
    if (tally.attempts > 0) {
        rows.push_back({Word::kFirstEntry, ShownTime(tally.first, true)});
        rows.push_back({Word::kLastEntry, ShownTime(tally.last, true)});
    }
    if (!tally.programs.empty()) {
        rows.push_back({Word::kWrittenBy, Joined(tally.programs)});
    }
    return rows;
}

std::vector<Row> SummaryRows(const Tally& tally) {
    std::vector<Row> rows = {
        {Word::kUnits, std::to_string(tally.units.size())},
        {Word::kUnitsConfirmed, std::to_string(tally.unitsConfirmed)},
        {Word::kUnitsNotConfirmed, std::to_string(tally.units.size() - tally.unitsConfirmed)},
        {Word::kAttempts, std::to_string(tally.attempts)},
        {Word::kAttemptsConfirmed, std::to_string(tally.confirmed)},
        {Word::kAttemptsFailed, std::to_string(tally.attempts - tally.confirmed)},
    };
    if (tally.unnamed > 0) {
        rows.push_back({Word::kUnnamed, std::to_string(tally.unnamed)});
    }
    if (tally.leftOut > 0) {
        rows.push_back({Word::kLeftOut, std::to_string(tally.leftOut)});
    }
    return rows;
}

std::string ShownTime(const std::string& time, bool zone) {
    if (time.size() == 24 && time[10] == 'T' && time[19] == '.' && time[23] == 'Z') {
        return time.substr(0, 10) + " " + time.substr(11, 8) + (zone ? " UTC" : "");
    }
    return time;
}

std::string MsText(const RecordEntry& entry) {
    return entry.ms ? std::to_string(*entry.ms) : "";
}

} // namespace ReportParts
