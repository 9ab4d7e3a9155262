#pragma once

#include <string_view>

// Replaces the file `name` (a path; a bare name is in the working directory) with `bytes` so that a crash at
// any point leaves either the old file or the new one: the bytes go to a temporary file in the
// same directory, reach the disk, and the temporary file then takes the name. Returns false,
// with nothing changed on disk and no temporary file left, when any step fails.
bool ReplaceFileContents(const char* name, std::string_view bytes);
