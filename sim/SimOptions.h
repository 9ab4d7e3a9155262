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
    FaultOptions faults;
    std::optional<int> dropAfter; // bytes of a frame after which the line is dropped once
    bool dropEveryOther = false;  // and again on the frame after each one answered
    std::optional<int> maxFrames;
    std::optional<int> maxSeconds;
};

struct ParsedOptions {
    std::optional<SimOptions> options; // empty when the program is to exit at once
    int exitStatus = 0;                // then: 0 after --help or --version, 2 on a usage error
    std::string output;                // help or version text, or the error
};

// Numbers are plain decimal within each flag's range; contradictory fault flags are refused.
ParsedOptions ParseSimOptions(int argc, const char* const* argv);
