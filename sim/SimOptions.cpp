#include "sim/SimOptions.h"

#include <functional>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

const char kSimUsage[] =
    "usage: vkd37-sim [--device PATH | --link PATH] [--json] [--log FILE] [--no-pace]\n"
    "                 [--silent] [--echo-bytes N] [--corrupt K] [--delay-ms D]\n"
    "                 [--gap-ms G --gap-at K] [--extra N] [--drop-after K]\n"
    "                 [--max-frames N] [--max-seconds S] [--help] [--version]\n";

const char kSimHelp[] =
    "Stands in for a VKD-37 controller on a serial line: reads 19-byte upload frames at\n"
    "9600 baud 8N1, prints one line per frame, then echoes the frame back.\n"
    "\n"
    "Line:\n"
    "  (default)         create a pseudo-terminal; its slave path is printed as 'port: PATH'\n"
    "  --link PATH       also point the symbolic link PATH at that slave (removed at exit)\n"
    "  --device PATH     use an existing serial device instead (raw 9600 8N1)\n"
    "\n"
    "Output:\n"
    "  --json            one JSON object per frame instead of a line for people\n"
    "  --log FILE        append the frame lines to FILE instead of stdout\n"
    "  --no-pace         send without the 1.04 ms per byte of a 9600 baud line\n"
    "\n"
    "Faults:\n"
    "  --silent          never answer\n"
    "  --echo-bytes N    echo only the first N bytes (0-19)\n"
    "  --corrupt K       invert echo byte K (0-18)\n"
    "  --delay-ms D      wait D ms before echoing (0-60000)\n"
    "  --gap-ms G        pause G ms before echo byte K (0-60000); needs --gap-at\n"
    "  --gap-at K        where that pause goes (0-18); needs --gap-ms\n"
    "  --extra N         append N bytes A5 5A A5 ... after the echo (0-1024)\n"
    "  --drop-after K    once, after K bytes of a frame (1-19), drop the line without echo:\n"
    "                    close it and open a new one, printing a new 'port:' line\n"
    "\n"
    "Limits:\n"
    "  --max-frames N    exit after N frames, once their answers are sent (N >= 1)\n"
    "  --max-seconds S   exit after S seconds (S >= 1)\n"
    "  --help            show this text\n"
    "  --version         print the version\n"
    "\n"
    "A partial frame is discarded when more than 100 ms pass between two of its bytes.\n"
    "Exit status: 0 on a limit, SIGINT or SIGTERM; 1 when the line fails; 2 on usage errors.\n";

namespace {

constexpr int kLongestPauseMs = 60000;
constexpr int kMostExtraBytes = 1024;
constexpr int kLargestCount = 1000000000;

// Plain decimal digits only, so "1e3", "+5", " 5" and "5x" are all refused.
std::optional<int> ParseDecimal(std::string_view text, int low, int high) {
    if (text.empty() || text.size() > 10) {
        return std::nullopt;
    }
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

struct Flag {
    const char* name;
    bool takesValue;
    std::function<bool(SimOptions&, std::string_view)> apply; // false: value out of range
    const char* range = "";
};

auto SetNumber(int low, int high, std::function<void(SimOptions&, int)> store) {
    return [=](SimOptions& options, std::string_view text) {
        const std::optional<int> value = ParseDecimal(text, low, high);
        if (value) {
            store(options, *value);
        }
        return value.has_value();
    };
}

auto SetPath(std::string SimOptions::*member) {
    return [=](SimOptions& options, std::string_view text) {
        options.*member = std::string(text);
        return !text.empty();
    };
}

auto SetSwitch(std::function<void(SimOptions&)> store) {
    return [=](SimOptions& options, std::string_view) {
        store(options);
        return true;
    };
}

const std::vector<Flag>& Flags() {
    static const std::vector<Flag> flags = {
        {"--device", true, SetPath(&SimOptions::devicePath), "a path"},
        {"--link", true, SetPath(&SimOptions::linkPath), "a path"},
        {"--log", true, SetPath(&SimOptions::logPath), "a path"},
        {"--json", false, SetSwitch([](SimOptions& o) { o.json = true; })},
        {"--no-pace", false, SetSwitch([](SimOptions& o) { o.pace = false; })},
        {"--silent", false, SetSwitch([](SimOptions& o) { o.faults.silent = true; })},
        {"--help", false, SetSwitch([](SimOptions& o) { o.help = true; })},
        {"--version", false, SetSwitch([](SimOptions& o) { o.version = true; })},
        {"--echo-bytes", true,
         SetNumber(0, 19, [](SimOptions& o, int v) { o.faults.echoBytes = v; }), "0-19"},
        {"--corrupt", true,
         SetNumber(0, 18, [](SimOptions& o, int v) { o.faults.corruptIndex = v; }), "0-18"},
        {"--delay-ms", true,
         SetNumber(0, kLongestPauseMs, [](SimOptions& o, int v) { o.faults.delayMs = v; }),
         "0-60000"},
        {"--gap-ms", true,
         SetNumber(0, kLongestPauseMs, [](SimOptions& o, int v) { o.faults.gapMs = v; }),
         "0-60000"},
        {"--gap-at", true, SetNumber(0, 18, [](SimOptions& o, int v) { o.faults.gapIndex = v; }),
         "0-18"},
        {"--extra", true,
         SetNumber(0, kMostExtraBytes, [](SimOptions& o, int v) { o.faults.extraBytes = v; }),
         "0-1024"},
        {"--drop-after", true, SetNumber(1, 19, [](SimOptions& o, int v) { o.dropAfter = v; }),
         "1-19"},
        {"--max-frames", true,
         SetNumber(1, kLargestCount, [](SimOptions& o, int v) { o.maxFrames = v; }),
         "a whole number >= 1"},
        {"--max-seconds", true,
         SetNumber(1, kLargestCount, [](SimOptions& o, int v) { o.maxSeconds = v; }),
         "a whole number >= 1"},
    };
    return flags;
}

const Flag* FindFlag(std::string_view name) {
    for (const Flag& flag : Flags()) {
        if (name == flag.name) {
            return &flag;
        }
    }
    return nullptr;
}

ParsedOptions Failure(std::string error) {
    return {std::nullopt, std::move(error)};
}

} // namespace

ParsedOptions ParseSimOptions(int argc, const char* const* argv) {
    SimOptions options;
    std::set<std::string_view> seen;
    bool gapMsGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const std::size_t equals = argument.find('=');
        const std::string_view name = argument.substr(0, equals);
        const Flag* flag = FindFlag(name);
        if (!flag) {
            return Failure("unknown option '" + std::string(argument) + "'");
        }
        if (!seen.insert(flag->name).second) {
            return Failure(std::string(flag->name) + " given twice");
        }
        std::string_view value;
        if (equals != std::string_view::npos) {
            if (!flag->takesValue) {
                return Failure(std::string(flag->name) + " takes no value");
            }
            value = argument.substr(equals + 1);
        } else if (flag->takesValue) {
            if (i + 1 >= argc) {
                return Failure(std::string(flag->name) + " needs a value (" + flag->range + ")");
            }
            value = argv[++i];
        }
        if (!flag->apply(options, value)) {
            return Failure(std::string(flag->name) + ": bad value '" + std::string(value) +
                           "' (expected " + flag->range + ")");
        }
        gapMsGiven = gapMsGiven || name == "--gap-ms";
    }
    if (options.help || options.version) {
        return {options, {}};
    }
    if (!options.devicePath.empty() && !options.linkPath.empty()) {
        return Failure("--device and --link cannot be combined");
    }
    if (gapMsGiven != options.faults.gapIndex.has_value()) {
        return Failure("--gap-ms and --gap-at go together");
    }
    return {options, {}};
}
