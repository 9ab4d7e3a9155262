#pragma once

#include <optional>
#include <string>

#include "sim/EchoPlan.h"

struct SimOptions {
    std::string devicePath; // empty: create a pseudo-terminal
    std::string linkPath;   // empty: no symbolic link
    std::string logPath;    // empty: frame lines go to stdout
    bool json = false;
    bool pace = true;
    bool help = false;
    bool version = false;
    FaultOptions faults;
    std::optional<int> dropAfter; // bytes of a frame after which the line is dropped once
    std::optional<int> maxFrames;
    std::optional<int> maxSeconds;
};

struct ParsedOptions {
    std::optional<SimOptions> options; // empty when the command line is wrong
    std::string error;                 // names the problem then
};

// Accepts "--flag VALUE" and "--flag=VALUE". Numbers are plain decimal within each flag's range.
ParsedOptions ParseSimOptions(int argc, const char* const* argv);

extern const char kSimUsage[];
extern const char kSimHelp[];
