#include "record/StationRecord.h"

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

#include "model/Sha256.h"
#include "record/LabelText.h"
#include "record/RecordReport.h"
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

bool IsBlank(std::string_view line) {
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

} // namespace

// What tells two lines apart: a line of another station, unit or time, or another link, is
// another line; the values go with the frame. Each member ends with a NUL, which no text holds.
bool LineFingerprints::Insert(const RecordEntry& entry) {
    Sha256 hash;
    for (const std::string* part : {&entry.time, &entry.unit, &entry.port, &entry.frame,
                                    &entry.station, &entry.prev, &entry.program}) {
        hash.Add(*part);
        hash.Add(std::string_view("", 1));
    }
    hash.Add(OutcomeName(entry));
    hash.Add(std::string_view("", 1));
    hash.Add(entry.ms ? std::to_string(*entry.ms) : "");
    const Sha256::Digest digest = hash.Finish();
    Fingerprint print{};
    for (std::size_t i = 0; i < sizeof print; ++i) {
        print[i / 4] = print[i / 4] << 8 | digest[i];
    }
    print[2] |= print == Fingerprint{} ? 1 : 0; // {0, 0, 0} marks a free slot
    if ((count_ + 1) * 5 > slots_.size() * 4) {
        std::vector<Fingerprint> old(std::max<std::size_t>(slots_.size() / 2 * 3, 1024));
        std::swap(old, slots_);
        for (const Fingerprint& kept : old) {
            if (kept != Fingerprint{}) {
                Place(kept);
            }
        }
    }
    if (!Place(print)) {
        return false;
    }
    ++count_;
    return true;
}

bool LineFingerprints::Place(const Fingerprint& print) {
    const std::uint64_t home = std::uint64_t{print[0]} << 32 | print[1];
    for (std::size_t i = static_cast<std::size_t>(home % slots_.size());;) {
        if (slots_[i] == print) {
            return false;
        }
        if (slots_[i] == Fingerprint{}) {
            slots_[i] = print;
            return true;
        }
        i = i + 1 == slots_.size() ? 0 : i + 1;
    }
}

void RecordGathering::StartFile(std::string name) {
    if (!files_.empty()) {
        files_.back().chain = chain_.Check();
    }
    files_.emplace_back().name = std::move(name);
    chain_ = ChainReader();
}

void RecordGathering::End() {
    if (!files_.empty()) {
        files_.back().chain = chain_.Check();
    }
    seen_ = LineFingerprints();
}

RecordGathering::LineIs RecordGathering::Add(const RecordLines::Line& line, RecordEntry& entry) {
    if (line.whole && IsBlank(line.text)) {
        return LineIs::kBlank;
    }
    RecordFileFacts& file = files_.back();
    std::optional<RecordEntry> read =
        line.whole ? ReadRecordLine(line.text) : std::optional<RecordEntry>();
    chain_.Add(line.number, line.whole ? std::optional(line.text) : std::nullopt,
               read ? &*read : nullptr);
    if (!read) {
        ++file.leftOut;
        return LineIs::kLeftOut;
    }
    if (!seen_.Insert(*read)) {
        ++file.repeated;
        return LineIs::kRepeated;
    }
    if (!read->station.empty()) {
        AddOnce(file.stations, read->station);
    }
    AddOnce(stations_, read->station);
    profiles_ = profiles_ || !read->profile.empty() || !read->profileId.empty();
    entry = std::move(*read);
    return LineIs::kEntry;
}

std::optional<RecordChains> RecordGathering::Chains() const {
    // A file with no record lines neither has a chain nor lacks one.
    std::size_t with = 0;
    std::size_t without = 0;
    for (const RecordFileFacts& file : files_) {
        if (file.chain.state == ChainState::kBroken) {
            return RecordChains::kBroken;
        }
        with += file.chain.state == ChainState::kHeld ? 1 : 0;
        without += file.chain.state == ChainState::kNone && file.chain.entries ? 1 : 0;
    }
    if (with + without == 0) {
        return std::nullopt;
    }
    return without == 0 ? RecordChains::kHeld
           : with == 0  ? RecordChains::kNone
                        : RecordChains::kNotEveryFile;
}

void GatheredRecord::StartFile(std::string name) {
    EndFile();
    gathering_.StartFile(std::move(name));
    fileStarts_.push_back(kept_.size());
    lines_ = RecordLines();
    open_ = true;
}

void GatheredRecord::TakeLine(const RecordLines::Line& line) {
    RecordEntry entry;
    switch (gathering_.Add(line, entry)) {
    case RecordGathering::LineIs::kEntry:
        kept_.append(line.text.data(), line.text.size());
        kept_ += '\n';
        break;
    case RecordGathering::LineIs::kLeftOut:
        ++leftOut_;
        break;
    default:
        break;
    }
}

void GatheredRecord::Add(std::string_view piece) {
    lines_.Add(piece, [this](const RecordLines::Line& line) { TakeLine(line); });
}

void GatheredRecord::EndFile() {
    if (open_) {
        lines_.End([this](const RecordLines::Line& line) { TakeLine(line); });
        open_ = false;
    }
}

void GatheredRecord::End() {
    EndFile();
    gathering_.End();
}

std::size_t GatheredRecord::ReadAll(const Take& take) {
    std::size_t file = 0;
    for (std::size_t start = 0; start < kept_.size();) {
        const std::size_t end = kept_.find('\n', start);
        while (file + 1 < fileStarts_.size() && fileStarts_[file + 1] <= start) {
            ++file;
        }
        const AttemptPlace place{start, static_cast<std::uint32_t>(end - start),
                                 static_cast<std::uint32_t>(file)};
        take(Read(place), place);
        start = end + 1;
    }
    return leftOut_;
}

RecordEntry GatheredRecord::Read(const AttemptPlace& place) {
    // Only lines read as entries are kept: each reads again.
    std::optional<RecordEntry> entry =
        ReadRecordLine(std::string_view(kept_).substr(place.offset, place.length));
    return entry ? std::move(*entry) : RecordEntry();
}

std::vector<StationFinding> StationFindings(RecordSource& source, Language language) {
    using ReportParts::Say;
    using ReportParts::SayCount;
    using ReportParts::Word;
    const RecordGathering* gathering = source.Gathered();
    if (!gathering) {
        return {};
    }
    std::vector<StationFinding> findings;
    const StationFacts facts =
        gathering->NamesProfilesOrStations() ? StationFactsOf(source, nullptr) : StationFacts();
    for (const StationConflict& conflict : facts.conflicts) {
        StationFinding finding{Word::kConflict, conflict.unit, {}, {}};
        for (const auto& [station, identity] : conflict.stations) {
            finding.stations += (finding.stations.empty() ? "" : ", ") + station;
            finding.detail += (finding.detail.empty() ? "[" : " [") + ShortIdentity(identity) + "]";
        }
        findings.push_back(std::move(finding));
    }
    for (const OffProfile& off : facts.offProfile) {
        findings.push_back({Word::kOffProfile,
                            off.unit,
                            {},
                            off.profile + " [" + ShortIdentity(off.expected) + "] \u2192 [" +
                                ShortIdentity(off.actual) + "]"});
    }
    for (const RecordFileFacts& file : gathering->Files()) {
        if (!file.HasGap()) {
            continue;
        }
        StationFinding finding{Word::kGap, file.name, {}, {}};
        for (const std::string& station : file.stations) {
            finding.stations += (finding.stations.empty() ? "" : ", ") + station;
        }
        if (file.chain.state == ChainState::kBroken) {
            finding.detail = Say(language, Word::kAtLine, std::to_string(file.chain.line));
        }
        if (file.leftOut > 0) {
            finding.detail += (finding.detail.empty() ? "" : "; ") +
                              SayCount(language, Word::kLinesCut, Word::kLinesCutOne, file.leftOut);
        }
        findings.push_back(std::move(finding));
    }
    return findings;
}

void GatheredSummary(RecordSource& source, const RecordGathering& gathering, const Profile* against,
                     Language language, const ReportSink& out) {
    ReportSummary(source, language, out);
    out(StationFactsText(gathering.Files(),
                         against || gathering.NamesProfilesOrStations()
                             ? StationFactsOf(source, against)
                             : StationFacts(),
                         language));
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

StationFacts StationFactsOf(RecordSource& source, const Profile* against) {
    const ReportParts::Tally tally = ReportParts::TallyOf(source);
    // Each unit's confirmed attempts with values, read again by time (ties in the order of the
    // lines): the last at the first station that confirmed it, and where others confirmed it too,
    // theirs in the order they came; and the station of its last. Whatever its last attempt did,
    // these are what it was set up with. 24 bytes a unit; stations are few, named by number.
    constexpr std::uint32_t kNoStation = ~std::uint32_t{0};
    struct AtStation {
        std::uint32_t station = kNoStation;
        std::uint32_t latest = kNoStation; // the first station's entry only
        AttemptPlace last;
    };
    static_assert(sizeof(AtStation) <= 24, "a unit's place in the first pass");
    std::vector<std::string> stations;
    std::vector<AtStation> firstStation(tally.units.size());
    std::map<std::uint32_t, std::vector<AtStation>> otherStations;
    for (const ReportParts::Attempt& attempt : tally.byTime) {
        if (attempt.unit == ReportParts::kNoUnit || !ReportParts::Confirmed(attempt)) {
            continue;
        }
        const RecordEntry entry = source.Read(attempt.place);
        if (!EntryValues(entry)) {
            continue;
        }
        const auto station = static_cast<std::uint32_t>(
            std::find(stations.begin(), stations.end(), entry.station) - stations.begin());
        if (station == stations.size()) {
            stations.push_back(entry.station);
        }
        AtStation& first = firstStation[attempt.unit];
        first.latest = station;
        if (first.station == kNoStation || first.station == station) {
            first.station = station;
            first.last = attempt.place;
            continue;
        }
        std::vector<AtStation>& others = otherStations[attempt.unit];
        const auto known =
            std::find_if(others.begin(), others.end(),
                         [station](const AtStation& at) { return at.station == station; });
        if (known == others.end()) {
            others.push_back({station, kNoStation, attempt.place});
        } else {
            known->last = attempt.place;
        }
    }
    StationFacts facts;
    for (std::uint32_t number = 0; number < tally.units.size(); ++number) {
        const ReportParts::UnitTally& unit = tally.units[number];
        const ReportParts::Attempt& lastAttempt = ReportParts::LastOf(tally, unit);
        if (ReportParts::Confirmed(lastAttempt)) {
            const RecordEntry last = source.Read(lastAttempt.place);
            ProfileUse* use = nullptr;
            for (ProfileUse& known : facts.byProfile) {
                use = known.identity == last.profileId && known.name == last.profile ? &known : use;
            }
            if (!use) {
                use = &facts.byProfile.emplace_back(ProfileUse{last.profile, last.profileId});
            }
            ++use->units;
        }
        const AtStation& first = firstStation[number];
        if (first.station == kNoStation) {
            continue;
        }
        std::vector<AtStation> atStations = {first};
        const auto others = otherStations.find(number);
        if (others != otherStations.end()) {
            atStations.insert(atStations.end(), others->second.begin(), others->second.end());
        }
        StationConflict conflict{*unit.unit, {}};
        for (const AtStation& at : atStations) {
            const RecordEntry entry = source.Read(at.last);
            const ParameterSet values = *EntryValues(entry);
            const std::string actual = ValuesIdentity(values);
            conflict.stations.emplace_back(stations[at.station], actual);
            if (at.station != first.latest) {
                continue;
            }
            // The values it was last confirmed with, against the profile.
            if (against && actual != ValuesIdentity(against->values)) {
                facts.offProfile.push_back({*unit.unit, against->name,
                                            ValuesIdentity(against->values), actual,
                                            ValueChanges(against->values, values, false)});
            } else if (!against && !entry.profileId.empty() && actual != entry.profileId) {
                facts.offProfile.push_back(
                    {*unit.unit, entry.profile, entry.profileId, actual, {}});
            }
        }
        for (const auto& [station, identity] : conflict.stations) {
            if (identity != conflict.stations[0].second) {
                facts.conflicts.push_back(std::move(conflict));
                break;
            }
        }
    }
    return facts;
}

namespace {

using ReportParts::Mark;
using ReportParts::Say;
using ReportParts::SayCount;
using ReportParts::Word;

std::string StationName(const std::string& station, Language language) {
    return station.empty() ? Say(language, Word::kNoStationNamed) : station;
}

std::string Heading(Language language, Word word) {
    return "\n" + std::string(Say(language, word)) + (language == Language::kChinese ? "：" : ":") +
           "\n";
}

std::string FileLine(const RecordFileFacts& file, Language language) {
    std::string stations;
    for (const std::string& station : file.stations) {
        stations += (stations.empty() ? "" : ", ") + EscapedControls(station);
    }
    std::string line = "  " + EscapedControls(file.name) +
                       (stations.empty() ? "" : Say(language, Word::kOfStations, stations)) +
                       Mark(language, ':') + ChainText(file.chain, language);
    if (file.leftOut > 0) {
        line += Mark(language, ';') +
                SayCount(language, Word::kLinesCut, Word::kLinesCutOne, file.leftOut);
    }
    if (file.HasGap()) {
        line += Say(language, Word::kGapMark);
    }
    if (file.repeated > 0) {
        line += Mark(language, ';') +
                SayCount(language, Word::kLinesRepeated, Word::kLinesRepeatedOne, file.repeated);
    }
    return line + "\n";
}

} // namespace

std::string StationFactsText(const std::vector<RecordFileFacts>& files, const StationFacts& facts,
                             Language language) {
    std::string text;
    const bool profiles = facts.byProfile.size() > 1 ||
                          (facts.byProfile.size() == 1 && !facts.byProfile[0].name.empty());
    if (profiles) {
        text += Heading(language, Word::kByProfile);
        for (const ProfileUse& use : facts.byProfile) {
            text += "  " +
                    (use.name.empty()
                         ? std::string(Say(language, Word::kNoProfile))
                         : EscapedControls(use.name) + " [" + ShortIdentity(use.identity) + "]") +
                    Mark(language, ':') + std::to_string(use.units) + "\n";
        }
    }
    if (!facts.offProfile.empty()) {
        text += Heading(language, Word::kOffProfileUnits);
        for (const OffProfile& off : facts.offProfile) {
            text += "  " + ShownLabel(off.unit) + Mark(language, ':') +
                    EscapedControls(off.profile) + " [" + ShortIdentity(off.expected) + "]" +
                    Mark(language, ',') + Say(language, Word::kUnitConfirmed) + " [" +
                    ShortIdentity(off.actual) + "]\n";
            for (const ValueChange& change : off.changes) {
                // English keeps both languages' words, as the diff and the upload say a change.
                text += "    " +
                        (language == Language::kEnglish ? ChangeText(change)
                                                        : ChangeText(change, language)) +
                        "\n";
            }
        }
    }
    if (!facts.conflicts.empty()) {
        text += Heading(language, Word::kConflictUnits);
        for (const StationConflict& conflict : facts.conflicts) {
            // "U-1: A [...] B [...]"; in Chinese the full-width colon holds its own space.
            std::string stations;
            for (const auto& [station, identity] : conflict.stations) {
                stations += (stations.empty() ? "" : " ") +
                            EscapedControls(StationName(station, language)) + " [" +
                            ShortIdentity(identity) + "]";
            }
            text += "  " + ShownLabel(conflict.unit) +
                    (language == Language::kChinese ? "：" : ": ") + stations;
            text += "\n";
        }
    }
    // Lines left out of a file are named already; a file without a chain is listed where
    // another has one, or where it repeats another's lines.
    bool chained = false;
    bool repeated = false;
    for (const RecordFileFacts& file : files) {
        chained = chained || file.chain.state != ChainState::kNone;
        repeated = repeated || file.repeated > 0;
    }
    if (chained || repeated) {
        text += Heading(language, Word::kRecordFiles);
        for (const RecordFileFacts& file : files) {
            text += FileLine(file, language);
        }
    }
    return text;
}
