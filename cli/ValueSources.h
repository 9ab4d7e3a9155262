#pragma once

#include <string>

#include "model/ParameterSet.h"
#include "record/Profile.h"

// Values the tool compares and applies, from any of the files that hold them.

// The profile a file holds; CommandError (usage) naming the file and why it is none.
Profile LoadProfile(const std::string& path);

// A set of values and what they are, for a person: "settings file A", "profile Line 3
// [3f2a9c1b7d20] (p.json)", "unit F-1 in R, confirmed 2025-03-04T09:15:02.123Z".
struct NamedValues {
    std::string label; // as the files and the command line have it, for a script
    std::string shown; // for a terminal: controls escaped, a unit label's backslashes doubled
    ParameterSet set;
    bool hasPort = false; // only a settings file keeps a port
};

// A settings file, a profile, or a record's last confirmed values of `unit` (which a record
// needs), told apart by what the file holds. CommandError (usage) when none of them.
NamedValues ValuesFrom(const std::string& path, const std::string& unit);
