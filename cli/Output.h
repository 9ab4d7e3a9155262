#pragma once

#include <string>

// Our text is UTF-8. A Windows console shows it through the wide API whatever its code page;
// files and pipes get the bytes as they are.
void WriteOut(const std::string& text);
void WriteError(const std::string& text);

// One line to standard error naming the program and the cause.
inline void Complain(const std::string& message) {
    WriteError("vkd37: " + message + "\n");
}
