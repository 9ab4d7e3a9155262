#pragma once

#include <string>
#include <string_view>

#include "model/ParameterSet.h"

// The text of the parameter file: the 16 stored values, each as "%d " in the file order of the
// parameter table (filePosition).

// Reads the values in file order straight into the members. Scanning stops at the first value
// that is not a number or does not fit an int; that member and the later ones keep what they
// held. Returns how many values were taken.
int ReadParameterText(std::string_view text, ParameterSet& set);

// The file's exact bytes for this set: each stored value followed by one space.
std::string WriteParameterText(const ParameterSet& set);
