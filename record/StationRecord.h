#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "record/Profile.h"
#include "record/RecordChain.h"
#include "record/RecordEntry.h"
#include "record/RecordSource.h"
#include "record/ReportWords.h"
#include "record/ValueChanges.h"

// One record gathered from the files of several stations as they are read, a line at a time: a
// line found in more than one file counts once, each line keeps the station it names, and each
// file's chain and lines left out are kept to be named. Every face's report reads its record
// through it, so that each form counts the same lines.
struct RecordFileFacts {
    std::string name;
    std::vector<std::string> stations; // named by its lines, in the order of their first line
    std::size_t leftOut = 0;           // lines that hold no entry
    std::size_t repeated = 0;          // lines read already, from an earlier file or this one
    ChainCheck chain;

    // A line cut or missing: left out, or the chain broken.
    bool HasGap() const { return leftOut > 0 || chain.state == ChainState::kBroken; }
};

// The entries read, each kept as a fingerprint of what tells its line from another: the first 96
// bits of a SHA-256, so that two lines taken for one is not to be feared (for 4 million lines,
// one chance in 2^53). They stand in an open table at most four fifths full, grown by half: 12
// bytes a slot, 15 to 23 bytes a line, about 15 more while the table grows.
class LineFingerprints {
public:
    // False where an entry with the same members was inserted already.
    bool Insert(const RecordEntry& entry);

private:
    using Fingerprint = std::array<std::uint32_t, 3>; // {0, 0, 0}: a free slot
    bool Place(const Fingerprint& print);

    std::vector<Fingerprint> slots_;
    std::size_t count_ = 0;
};

class RecordGathering {
public:
    enum class LineIs { kBlank, kLeftOut, kRepeated, kEntry };

    // The files are read again from the start, in the same order.
    void Restart() { *this = RecordGathering(); }
    void StartFile(std::string name);
    // A line of the file started last, as RecordLines gives it; `entry` is set where it is one to
    // take, an entry not read before.
    LineIs Add(const RecordLines::Line& line, RecordEntry& entry);
    // Every file read: the fingerprints are let go, and the facts stay.
    void End();

    // Each file's facts, its chain as far as StartFile or End told where it ends.
    const std::vector<RecordFileFacts>& Files() const { return files_; }
    // What the files' chains say; nothing where no file with record lines was read.
    std::optional<RecordChains> Chains() const;
    // Whether a line names a profile, or lines name more than one station (no name being one):
    // whether StationFactsOf can find more than the summary says.
    bool NamesProfilesOrStations() const { return profiles_ || stations_.size() > 1; }

private:
    std::vector<RecordFileFacts> files_;
    ChainReader chain_; // of the file started last, checked through its end by StartFile or End
    LineFingerprints seen_;
    std::vector<std::string> stations_;
    bool profiles_ = false;
};

// A record gathered from files handed over a piece at a time, as the page reads them: the lines of
// entries not read before are held as their text (no more than the files' bytes) and read again
// as a form of the report asks, so that the page's report holds the record but once.
class GatheredRecord final : public RecordSource {
public:
    void StartFile(std::string name);
    void Add(std::string_view piece);
    // Every file handed over.
    void End();

    std::size_t ReadAll(const Take& take) override;
    RecordEntry Read(const AttemptPlace& place) override;
    std::optional<RecordChains> Chains() const override { return gathering_.Chains(); }
    const RecordGathering& Gathering() const { return gathering_; }
    const RecordGathering* Gathered() const override { return &gathering_; }

private:
    void TakeLine(const RecordLines::Line& line);
    void EndFile();

    RecordGathering gathering_;
    RecordLines lines_; // of the file started last
    bool open_ = false;
    std::string kept_;                    // each entry's line and a line feed
    std::vector<std::size_t> fileStarts_; // where each file's entries begin in kept_
    std::size_t leftOut_ = 0;
};

// What the printed report and the workbook list of the stations' records, a row each, in the
// report's language: units confirmed with different values at two stations, units confirmed with
// values other than their profile's, and files with a gap. None for a record not read from files.
struct StationFinding {
    ReportParts::Word kind;
    std::string subject; // the unit, or the file
    std::string stations;
    std::string detail; // identities, or where the file's chain breaks and its lines left out
};
std::vector<StationFinding> StationFindings(RecordSource& source, Language language);

// The summary of a gathered record as `vkd37 report` prints it: the report's summary, then what
// the stations' records say, the units held against `against` where given.
void GatheredSummary(RecordSource& source, const RecordGathering& gathering, const Profile* against,
                     Language language, const ReportSink& out);

// The unit's last confirmed attempt that holds every value, by time; null where there is none.
const RecordEntry* LastConfirmed(const CommissioningRecord& record, std::string_view unit);

// What the record says of profiles and stations, the attempts taken by their times.
struct ProfileUse {
    std::string name; // empty: units set up without a profile
    std::string identity;
    std::size_t units = 0;
};

struct OffProfile {
    std::string unit;
    std::string profile;  // the profile it was held against: named in its line, or --profile's
    std::string expected; // that profile's identity
    std::string actual;   // the identity of the values confirmed
    std::vector<ValueChange> changes; // where the profile's values are known
};

struct StationConflict {
    std::string unit;
    // Each station's last confirmed values, by their identity.
    std::vector<std::pair<std::string, std::string>> stations;
};

struct StationFacts {
    std::vector<ProfileUse> byProfile; // confirmed units, by the profile of the last attempt
    std::vector<OffProfile> offProfile;
    std::vector<StationConflict> conflicts;
};

// Each unit is held, with the values it was last confirmed with (whatever its last attempt did),
// against `against` where given, else against the profile that line names (by identity: the line
// holds the profile's identity, not its values); conflicts between stations are judged by each
// station's last confirmed values. The record is read once more, as the report reads it: what
// is kept grows with its units, not its lines.
StationFacts StationFactsOf(RecordSource& source, const Profile* against);

// The facts and each file's chain and gaps, as lines of text in the language's words; empty where
// there is nothing to say beyond the summary.
std::string StationFactsText(const std::vector<RecordFileFacts>& files, const StationFacts& facts,
                             Language language);
