#pragma once

#include <string>

// What a failing system call leaves behind: GetLastError() on Windows, errno elsewhere.
#ifdef _WIN32
using SystemErrorCode = unsigned long;
#else
using SystemErrorCode = int;
#endif

// The system's own words for an error code (FormatMessageW, strerror), without a line end or a
// closing full stop: what our messages put after "cannot open COM3: ".
std::string SystemErrorText(SystemErrorCode error);

// The code the last failing call left.
SystemErrorCode LastSystemError();
