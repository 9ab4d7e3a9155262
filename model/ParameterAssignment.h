#pragma once

#include <string>
#include <string_view>

#include "model/ParameterSet.h"

// Applies "NAME=VALUE" to the set when the name is known and the value within its range;
// otherwise leaves the set alone and names the problem in error.
bool ApplyAssignment(std::string_view assignment, ParameterSet& set, std::string& error);
