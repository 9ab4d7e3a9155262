#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/ParameterSet.h"

// The names the tool gives the stored values, with the ranges the dialog accepts.
enum class ValueKind { kNumber, kSource, kFlag };

struct ParameterField {
    const char* name;
    int ParameterSet::*member;
    int min;
    int max;
    ValueKind kind;
};

// In the order the dialog shows them: port, the forward and the reverse profile, the options.
const std::vector<ParameterField>& ParameterFields();

bool IsAccepted(const ParameterField& field, int value);
// "0-127", or for sources and flags their words as well.
std::string AcceptedText(const ParameterField& field);
// The value as it is typed: "internal-pot", "on", or the number.
std::string ValueText(const ParameterField& field, int value);

// Applies "NAME=VALUE" to the set when the name is known and the value within its range;
// otherwise leaves the set alone and names the problem in error.
bool ApplyAssignment(std::string_view assignment, ParameterSet& set, std::string& error);

// One line per value the dialog would refuse, naming it and its bounds; the port index is not
// checked when it does not matter (it is not part of the frame).
std::vector<std::string> RefusedValues(const ParameterSet& set, bool includePort);
