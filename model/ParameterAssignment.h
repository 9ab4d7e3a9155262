#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/ParameterSet.h"

// Applies "NAME=VALUE" to the set when the name is known and the value within its range;
// otherwise leaves the set alone and names the problem in error.
bool ApplyAssignment(std::string_view assignment, ParameterSet& set, std::string& error);

// Applies each in turn, stopping at the first that fails (error names it); the set may then
// hold the earlier ones.
bool ApplyAssignments(const std::vector<std::string>& assignments, ParameterSet& set,
                      std::string& error);
