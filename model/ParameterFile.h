#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "model/ParameterSet.h"

// The settings kept between runs: 16 integers as "%d " each, in the working directory.
// The name is historical; the file is plain text.
inline constexpr char kParameterFileName[] = "InitialParameter.dll";
inline constexpr int kStoredValueCount = 16;

// Reads the values in file order straight into the members. Scanning stops at the first value
// that is not a number or does not fit an int; that member and the later ones keep what they
// held. Returns how many values were taken.
int ReadParameterText(std::string_view text, ParameterSet& set);

// The file's exact bytes for this set: each stored value followed by one space.
std::string WriteParameterText(const ParameterSet& set);

// Fills the set from the file, or with the missing-file values when it cannot be opened.
void LoadParameters(ParameterSet& set);

// The same for a file at any path; false (and the missing-file values) when it cannot be opened.
bool LoadParameterFile(const char* path, ParameterSet& set);

// Replaces the file at path with the set's values in one step; false when nothing was written.
bool SaveParameterFile(const char* path, const ParameterSet& set);

// Records the port list's selection (-1 for none) in the set and replaces the file with the
// new contents in one step. When the file cannot be written nothing changes, m_nPort included.
void SaveParameters(ParameterSet& set, int selection);

// A legitimate file is under 200 bytes; loading never reads more than this.
inline constexpr std::size_t kParameterFileReadLimit = 1 << 20;
