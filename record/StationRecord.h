#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "record/Profile.h"
#include "record/RecordChain.h"
#include "record/RecordEntry.h"
#include "record/ValueChanges.h"

// One record gathered from the files of several stations: a line found in more than one file
// counts once, each line keeps the station it names, and each file's chain and lines left out
// are kept to be named.
struct RecordFileFacts {
    std::string name;
    std::vector<std::string> stations; // named by its lines, in the order of their first line
    std::vector<std::size_t> leftOut;  // numbers of the lines that hold no entry
    std::size_t repeated = 0;          // lines read already from an earlier file
    ChainCheck chain;

    // A line cut or missing: left out, or the chain broken.
    bool HasGap() const { return !leftOut.empty() || chain.state == ChainState::kBroken; }
};

struct GatheredRecord {
    CommissioningRecord record;
    std::vector<RecordFileFacts> files;
    std::unordered_set<std::string> lines; // the entries read, each as its line
};

// Adds one file's text to the record.
const RecordFileFacts& GatherRecordFile(std::string name, std::string_view text,
                                        GatheredRecord& gathered);

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

// Each confirmed unit is held against `against` where given, else against the profile its
// line names (by identity: the line holds the profile's identity, not its values).
StationFacts StationFactsOf(const CommissioningRecord& record, const Profile* against);

// The facts and each file's chain and gaps, as lines of text in English; empty where there is
// nothing to say beyond the summary.
std::string StationFactsText(const GatheredRecord& gathered, const StationFacts& facts);
