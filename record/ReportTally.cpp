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

constexpr char kTimeForm[] = "0000-00-00T00:00:00.000Z"; // '0' where a digit stands

// The digits of a time in its one form; -1 for any other text.
std::int64_t TimeDigits(const std::string& time) {
    if (time.size() != sizeof kTimeForm - 1) {
        return -1;
    }
    std::int64_t digits = 0;
    for (std::size_t i = 0; i < time.size(); ++i) {
        const bool digit = time[i] >= '0' && time[i] <= '9';
        if (kTimeForm[i] == '0' ? !digit : time[i] != kTimeForm[i]) {
            return -1;
        }
        digits = digit ? digits * 10 + (time[i] - '0') : digits;
    }
    return digits;
}

std::string TimeText(const Tally& tally, std::int64_t time) {
    if (time < 0) {
        return tally.otherTimes[static_cast<std::size_t>(-1 - time)];
    }
    std::string text = kTimeForm;
    for (std::size_t i = text.size(); i-- > 0;) {
        if (text[i] == '0') {
            text[i] = static_cast<char>('0' + time % 10);
            time /= 10;
        }
    }
    return text;
}

// Whether a comes before b: by their times as text, then by their lines.
bool Earlier(const Tally& tally, const Attempt& a, const Attempt& b) {
    if (a.time >= 0 && b.time >= 0) {
        return a.time < b.time;
    }
    return a.time != b.time && TimeText(tally, a.time) < TimeText(tally, b.time);
}

template <class Item> std::int32_t IndexIn(std::vector<Item>& items, const Item& item) {
    const auto found = std::find(items.begin(), items.end(), item);
    if (found == items.end()) {
        items.push_back(item);
        return static_cast<std::int32_t>(items.size() - 1);
    }
    return static_cast<std::int32_t>(found - items.begin());
}

} // namespace

bool Confirmed(const RecordEntry& entry) {
    return entry.outcome == EchoOutcome::kConfirmed;
}

bool Confirmed(const Attempt& attempt) {
    return attempt.outcome == static_cast<std::int32_t>(EchoOutcome::kConfirmed);
}

const Attempt& LastOf(const Tally& tally, const UnitTally& unit) {
    return tally.byTime[unit.last];
}

Tally TallyOf(RecordSource& source) {
    Tally tally;
    std::vector<const std::string*> labels; // by the unit's first line
    // Each program's first attempt by time, and its line among the attempts.
    struct FirstUse {
        Attempt attempt;
        std::size_t line;
    };
    std::vector<FirstUse> firstUses; // as tally.programs
    tally.leftOut = source.ReadAll([&](const RecordEntry& entry, const AttemptPlace& place) {
        Attempt attempt;
        attempt.place = place;
        attempt.time = TimeDigits(entry.time);
        if (attempt.time < 0) {
            attempt.time = -1 - static_cast<std::int64_t>(tally.otherTimes.size());
            tally.otherTimes.push_back(entry.time);
        }
        attempt.outcome = entry.outcome ? static_cast<std::int32_t>(*entry.outcome)
                                        : -1 - IndexIn(tally.otherOutcomes, entry.otherOutcome);
        if (!entry.unit.empty()) {
            const auto found = tally.unitIndex.emplace(entry.unit, labels.size());
            if (found.second) {
                labels.push_back(&found.first->first);
            }
            attempt.unit = found.first->second;
        }
        if (!entry.program.empty()) {
            const auto program = static_cast<std::size_t>(IndexIn(tally.programs, entry.program));
            if (program == firstUses.size()) {
                firstUses.push_back({attempt, tally.byTime.size()});
            } else if (Earlier(tally, attempt, firstUses[program].attempt)) {
                firstUses[program] = {attempt, tally.byTime.size()};
            }
        }
        tally.byTime.push_back(attempt);
    });
    // Known once the record was read: a record read from files is checked as it is read.
    tally.chains = source.Chains();
    // The programs in the order of their first attempts by time, as the attempts are; they are
    // few, so chosen one by one.
    const auto before = [&tally](const FirstUse& x, const FirstUse& y) {
        return Earlier(tally, x.attempt, y.attempt) ||
               (!Earlier(tally, y.attempt, x.attempt) && x.line < y.line);
    };
    for (std::size_t i = 0; i < firstUses.size(); ++i) {
        std::size_t first = i;
        for (std::size_t j = i + 1; j < firstUses.size(); ++j) {
            first = before(firstUses[j], firstUses[first]) ? j : first;
        }
        std::swap(firstUses[i], firstUses[first]);
        std::swap(tally.programs[i], tally.programs[first]);
    }
    // A unit's verdict is its latest attempt, wherever its line stands.
    std::stable_sort(tally.byTime.begin(), tally.byTime.end(),
                     [&tally](const Attempt& a, const Attempt& b) { return Earlier(tally, a, b); });
    if (!tally.byTime.empty()) {
        tally.first = TimeOf(tally, tally.byTime.front());
        tally.last = TimeOf(tally, tally.byTime.back());
    }
    // The units numbered again in the order of their first attempts by time.
    std::vector<std::uint32_t> renumbered(labels.size(), kNoUnit);
    for (std::size_t i = 0; i < tally.byTime.size(); ++i) {
        Attempt& attempt = tally.byTime[i];
        ++tally.attempts;
        tally.confirmed += Confirmed(attempt) ? 1 : 0;
        if (attempt.unit == kNoUnit) {
            ++tally.unnamed;
            continue;
        }
        std::uint32_t& unit = renumbered[attempt.unit];
        if (unit == kNoUnit) {
            unit = static_cast<std::uint32_t>(tally.units.size());
            tally.units.push_back({labels[attempt.unit]});
        }
        attempt.unit = unit;
        ++tally.units[unit].attempts;
        tally.units[unit].last = i;
    }
    for (auto& [label, unit] : tally.unitIndex) {
        unit = renumbered[unit];
    }
    for (const UnitTally& unit : tally.units) {
        tally.unitsConfirmed += Confirmed(LastOf(tally, unit)) ? 1 : 0;
    }
    return tally;
}

bool ConfirmedLater(const Tally& tally, const Attempt& attempt) {
    return !Confirmed(attempt) && attempt.unit != kNoUnit &&
           Confirmed(LastOf(tally, tally.units[attempt.unit]));
}

std::string TimeOf(const Tally& tally, const Attempt& attempt) {
    return TimeText(tally, attempt.time);
}

std::string SayOutcome(Language language, const Tally& tally, const Attempt& attempt) {
    return attempt.outcome >= 0
               ? EchoOutcomeWord(static_cast<EchoOutcome>(attempt.outcome), language)
               : tally.otherOutcomes[static_cast<std::size_t>(-1 - attempt.outcome)];
}

std::vector<Row> HeaderRows(const Tally& tally, Language language) {
    std::vector<Row> rows;
    if (tally.attempts > 0) {
        rows.push_back({Word::kFirstEntry, ShownTime(tally.first, true)});
        rows.push_back({Word::kLastEntry, ShownTime(tally.last, true)});
    }
    if (!tally.programs.empty()) {
        rows.push_back({Word::kWrittenBy, Joined(tally.programs)});
    }
    if (tally.chains) {
        constexpr Word kSaid[] = {Word::kChainsHeld, Word::kChainsBroken, Word::kChainsNotEveryFile,
                                  Word::kChainsNone};
        rows.push_back({Word::kChains, Say(language, kSaid[static_cast<int>(*tally.chains)])});
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
