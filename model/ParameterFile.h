#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "model/ParameterSet.h"

// The settings kept between runs (their text: model/ParameterText.h); the dialog keeps them in
// its working directory. The name is historical; the file is plain text.
inline constexpr char kParameterFileName[] = "InitialParameter.dll";

// Fills the set from the file, or with the missing-file values when it cannot be read.
void LoadParameters(ParameterSet& set);

enum class LoadOutcome { kLoaded, kMissing, kUnreadable };

// The same for a file at any path (UTF-8). kMissing only when there is no such file; any other
// failure to read is kUnreadable, with error naming the cause. Either way the set then holds the
// missing-file values, as the dialog would show them.
LoadOutcome LoadParameterFile(const char* path, ParameterSet& set, std::string& error);

// Replaces the file at path with the set's values (model/FileStore.h tells how); false, with
// error naming the cause, when nothing was written.
bool SaveParameterFile(const char* path, const ParameterSet& set, std::string& error);

// Loads the file at path as LoadParameterFile does, lets `change` alter the values and saves
// them, all under the file's lock, so that a change another program saves meanwhile is not lost.
// A missing file starts from the missing-file values. A file that cannot be read, or a change
// that returns false with error set, leaves the file as it is.
bool UpdateParameterFile(const char* path,
                         const std::function<bool(ParameterSet&, std::string&)>& change,
                         std::string& error);

// Records the port list's selection (-1 for none) in the set and saves the file as
// SaveParameterFile does. When the file cannot be written nothing changes, m_nPort included.
void SaveParameters(ParameterSet& set, int selection);

// A legitimate file is under 200 bytes; loading never reads more than this.
inline constexpr std::size_t kParameterFileReadLimit = 1 << 20;
