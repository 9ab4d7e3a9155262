#pragma once

#include <functional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "console/CommandLine.h"

// Each subcommand of vkd37 has a file of its own here and declares itself on the CLI::App that
// the table in Main.cpp makes for it: its summary, its options, and the action to run once they
// are parsed. The action owns what the options were read into; it returns the exit status, or
// throws CommandError when the command cannot do its work.
using CommandAction = std::function<int()>;

CommandAction DeclareShow(CLI::App& command);
CommandAction DeclareSet(CLI::App& command);
CommandAction DeclareFrame(CLI::App& command);
CommandAction DeclareDecode(CLI::App& command);
CommandAction DeclareUpload(CLI::App& command);
CommandAction DeclareReport(CLI::App& command);
CommandAction DeclarePorts(CLI::App& command);
CommandAction DeclareProfile(CLI::App& command);
CommandAction DeclareDiff(CLI::App& command);
CommandAction DeclareStation(CLI::App& command);

// The program as its record lines and reports name it.
inline constexpr char kProgram[] = "vkd37 " VKD_VERSION;

// The options several commands share.
inline void AddFile(CLI::App& command, std::string& file) {
    command.add_option("FILE", file, "parameter file")
        ->check(CommandLine::kPath)
        ->capture_default_str();
}

inline void AddChanges(CLI::App& command, std::vector<std::string>& assignments) {
    command.add_option("--set", assignments, "change values before use (NAME=VALUE ...)");
}

inline void AddStationName(CLI::App& command, std::string& name) {
    command.add_option("--station-name", name,
                       "the station's name in the record (default: this computer's host name)");
}

inline void AddJson(CLI::App& command, bool& json) {
    command.add_flag("--json", json, "print JSON instead of text");
}
