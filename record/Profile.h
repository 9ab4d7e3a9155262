#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/ParameterSet.h"
#include "record/RecordEntry.h"

// An approved set of values under a name: the values the record holds (every stored value but
// the port, which belongs to the station, not to the setup), a name and a free-text note. Its
// file is a small JSON object (docs/record.md); its identity is the SHA-256 of the values alone
// in one canonical form, so that two files with the same values have the same identity whatever
// their spacing, order, words or name.
struct Profile {
    std::string name;
    std::string note;
    ParameterSet values; // the port is not the profile's
};

// "fwd.source=0\nfwd.acc=10\n...": each recorded value by its name in the table's order, as a
// plain decimal number and a line end.
std::string CanonicalValues(const ParameterSet& values);
// The SHA-256 of CanonicalValues, in 64 hex digits.
std::string ValuesIdentity(const ParameterSet& values);
// The first 12 digits, as people are shown an identity.
std::string ShortIdentity(const std::string& identity);

// The profile's file: its name, note and values, one value a line, sources and flags by their
// words; ends with a line end.
std::string ProfileText(const Profile& profile);

struct ProfileReading {
    std::optional<Profile> profile;
    std::string problem; // why there is none: "fwd.acc=300 is out of range (0-127)", ...
};
// A profile's file: an object with a "profile" name that is not blank, an optional "note" and
// "values" holding every recorded value once, by number or word, within the dialog's range;
// nothing else. A byte-order mark before it is skipped, as Notepad writes one.
ProfileReading ReadProfileText(std::string_view text);
// Whether the text is meant as a profile (a JSON object naming "profile", not a record line's
// time), valid or not; a byte-order mark first is skipped.
bool LooksLikeProfile(std::string_view text);

// The values a record entry sent, where it holds every recorded one.
std::optional<ParameterSet> EntryValues(const RecordEntry& entry);
// The values into an entry's form, in RecordedFields()' order.
std::vector<std::optional<long long>> RecordedValues(const ParameterSet& values);
