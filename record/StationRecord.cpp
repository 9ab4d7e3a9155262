#include "record/StationRecord.h"

#include <algorithm>
#include <map>
#include <optional>

#include "record/ReportTally.h"

namespace {

void AddOnce(std::vector<std::string>& names, const std::string& name) {
    for (const std::string& known : names) {
        if (known == name) {
            return;
        }
    }
    names.push_back(name);
}

// What tells two lines apart: a line of another station, unit or time, or another link, is
// another line; the values go with the frame.
std::string LineKey(const RecordEntry& entry) {
    std::string key;
    for (const std::string* part : {&entry.time, &entry.unit, &entry.port, &entry.frame,
                                    &entry.station, &entry.prev, &entry.program}) {
        key += *part + '\0';
    }
    return key + OutcomeName(entry) + '\0' + (entry.ms ? std::to_string(*entry.ms) : "");
}

} // namespace

const RecordFileFacts& GatherRecordFile(std::string name, std::string_view text,
                                        GatheredRecord& gathered) {
    RecordFileFacts facts;
    facts.name = std::move(name);
    // Only a file that holds a link has a chain to check.
    if (text.find("\"prev\":") != std::string_view::npos) {
        facts.chain = CheckChain(text);
    }
    CommissioningRecord file;
    facts.leftOut = ReadRecordText(text, file);
    gathered.record.leftOut += file.leftOut;
    for (RecordEntry& entry : file.entries) {
        if (!gathered.lines.insert(LineKey(entry)).second) {
            ++facts.repeated;
            continue;
        }
        if (!entry.station.empty()) {
            AddOnce(facts.stations, entry.station);
        }
        gathered.record.entries.push_back(std::move(entry));
    }
    if (facts.chain.state != ChainState::kNone) {
        gathered.record.chainsHeld =
            gathered.record.chainsHeld.value_or(true) && facts.chain.state == ChainState::kHeld;
    }
    gathered.files.push_back(std::move(facts));
    return gathered.files.back();
}

const RecordEntry* LastConfirmed(const CommissioningRecord& record, std::string_view unit) {
    const RecordEntry* last = nullptr;
    for (const RecordEntry& entry : record.entries) {
        if (entry.unit == unit && ReportParts::Confirmed(entry) && EntryValues(entry) &&
            (!last || entry.time >= last->time)) {
            last = &entry;
        }
    }
    return last;
}

StationFacts StationFactsOf(const CommissioningRecord& record, const Profile* against) {
    // The attempts by time (ties in the order of the lines), and each unit's last, in the order
    // of their first.
    std::vector<const RecordEntry*> byTime;
    for (const RecordEntry& entry : record.entries) {
        byTime.push_back(&entry);
    }
    std::stable_sort(byTime.begin(), byTime.end(),
                     [](const RecordEntry* a, const RecordEntry* b) { return a->time < b->time; });
    std::vector<const RecordEntry*> lastOfUnit;
    std::map<std::string_view, std::size_t> unitIndex;
    for (const RecordEntry* entry : byTime) {
        if (entry->unit.empty()) {
            continue;
        }
        const auto found = unitIndex.emplace(entry->unit, lastOfUnit.size());
        if (found.second) {
            lastOfUnit.push_back(entry);
        }
        lastOfUnit[found.first->second] = entry;
    }
    StationFacts facts;
    // Each unit's last confirmed values at each station, in the order units came.
    std::map<std::string_view, std::vector<std::pair<std::string, std::string>>> byStation;
    for (const RecordEntry* entry : byTime) {
        const std::optional<ParameterSet> values = EntryValues(*entry);
        if (entry->unit.empty() || !ReportParts::Confirmed(*entry) || !values) {
            continue;
        }
        auto& stations = byStation[entry->unit];
        const std::string identity = ValuesIdentity(*values);
        bool known = false;
        for (auto& [station, last] : stations) {
            if (station == entry->station) {
                last = identity;
                known = true;
            }
        }
        if (!known) {
            stations.emplace_back(entry->station, identity);
        }
    }
    for (const RecordEntry* lastEntry : lastOfUnit) {
        const RecordEntry& last = *lastEntry;
        const std::string* unit = &last.unit;
        const std::optional<ParameterSet> values = EntryValues(last);
        if (!ReportParts::Confirmed(last)) {
            continue;
        }
        ProfileUse* use = nullptr;
        for (ProfileUse& known : facts.byProfile) {
            use = known.identity == last.profileId && known.name == last.profile ? &known : use;
        }
        if (!use) {
            use = &facts.byProfile.emplace_back(ProfileUse{last.profile, last.profileId});
        }
        ++use->units;

        if (values) {
            const std::string actual = ValuesIdentity(*values);
            if (against && actual != ValuesIdentity(against->values)) {
                facts.offProfile.push_back({*unit, against->name, ValuesIdentity(against->values),
                                            actual, ValueChanges(against->values, *values, false)});
            } else if (!against && !last.profileId.empty() && actual != last.profileId) {
                facts.offProfile.push_back({*unit, last.profile, last.profileId, actual, {}});
            }
        }
        const auto& stations = byStation[*unit];
        for (std::size_t i = 1; i < stations.size(); ++i) {
            if (stations[i].second != stations[0].second) {
                facts.conflicts.push_back({*unit, stations});
                break;
            }
        }
    }
    return facts;
}

namespace {

std::string StationName(const std::string& station) {
    return station.empty() ? "(no station named)" : station;
}

std::string FileLine(const RecordFileFacts& file) {
    std::string stations;
    for (const std::string& station : file.stations) {
        stations += (stations.empty() ? " (station " : ", ") + station;
    }
    std::string line =
        "  " + file.name + (stations.empty() ? "" : stations + ")") + ": " + ChainText(file.chain);
    if (!file.leftOut.empty()) {
        line += "; " + std::to_string(file.leftOut.size()) + " lines cut or not record lines";
    }
    if (file.HasGap()) {
        line += " - GAP";
    }
    if (file.repeated > 0) {
        line += "; " + std::to_string(file.repeated) + " lines read already from another file";
    }
    return line + "\n";
}

} // namespace

std::string StationFactsText(const GatheredRecord& gathered, const StationFacts& facts) {
    std::string text;
    const bool profiles = facts.byProfile.size() > 1 ||
                          (facts.byProfile.size() == 1 && !facts.byProfile[0].name.empty());
    if (profiles) {
        text += "\nConfirmed units by profile:\n";
        for (const ProfileUse& use : facts.byProfile) {
            text += "  " +
                    (use.name.empty() ? "(no profile)"
                                      : use.name + " [" + ShortIdentity(use.identity) + "]") +
                    ": " + std::to_string(use.units) + "\n";
        }
    }
    if (!facts.offProfile.empty()) {
        text += "\nUnits confirmed with values other than their profile's:\n";
        for (const OffProfile& off : facts.offProfile) {
            text += "  " + off.unit + ": " + off.profile + " [" + ShortIdentity(off.expected) +
                    "], confirmed [" + ShortIdentity(off.actual) + "]\n";
            for (const ValueChange& change : off.changes) {
                text += "    " + ChangeText(change) + "\n";
            }
        }
    }
    if (!facts.conflicts.empty()) {
        text += "\nUnits confirmed with different values at different stations:\n";
        for (const StationConflict& conflict : facts.conflicts) {
            text += "  " + conflict.unit + ":";
            for (const auto& [station, identity] : conflict.stations) {
                text += " " + StationName(station) + " [" + ShortIdentity(identity) + "]";
            }
            text += "\n";
        }
    }
    // Lines left out of a file are named already; a file without a chain is listed where
    // another has one, or where it repeats another's lines.
    bool chained = false;
    bool repeated = false;
    for (const RecordFileFacts& file : gathered.files) {
        chained = chained || file.chain.state != ChainState::kNone;
        repeated = repeated || file.repeated > 0;
    }
    if (chained || repeated) {
        text += "\nRecord files:\n";
        for (const RecordFileFacts& file : gathered.files) {
            text += FileLine(file);
        }
    }
    return text;
}
