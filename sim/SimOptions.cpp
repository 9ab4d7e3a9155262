#include "sim/SimOptions.h"

#include <chrono>
#include <cstdio>
#include <sstream>

#include "console/CommandLine.h"
#include "link/EchoRule.h"

namespace {

using CommandLine::kPath;
using CommandLine::kPlainDecimal;

constexpr int kLongestPauseMs = 60000;
constexpr int kMostExtraBytes = 1024;
constexpr int kLastAnswerByte = 19 + kMostExtraBytes - 1;
constexpr int kLargestCount = 1000000000;

const std::string kFooter =
    "A partial frame is discarded when more than " + std::to_string(LineTiming::kIntervalMs) +
    " ms pass between two of its bytes.\n"
    "With --json, the 'link:' line goes to stderr, so that stdout holds only 'port:' lines and\n"
    "frames.\n"
    "Exit status: 0 on a limit or a stop signal (SIGINT, SIGTERM, SIGHUP, SIGQUIT, ...); 1 when\n"
    "the line fails; 2 on usage errors.\n";

// A number option whose value also fills an optional field.
struct Number {
    int value = 0;
    CLI::Option* option = nullptr;
    std::optional<int> IfGiven() const {
        return option->count() > 0 ? std::optional<int>(value) : std::nullopt;
    }
};

CLI::Option* AddNumber(CLI::App& app, const char* name, int& target, int low, int high,
                       const char* help) {
    return app.add_option(name, target, help)
        ->transform(kPlainDecimal)
        ->check(CLI::Range(low, high));
}

} // namespace

ParsedOptions ParseSimOptions(int argc, const char* const* argv) {
    SimOptions options;
    CLI::App app{"Stands in for a VKD-37 controller on a serial line: reads 19-byte upload\n"
                 "frames at 9600 baud 8N1, prints one line per frame, then echoes the frame back.",
                 "vkd37-sim"};
    app.set_version_flag("--version", std::string("vkd37-sim ") + VKD_VERSION);
    // A path such as /dev/ttyUSB0 or a Wine path is never a "/x" Windows-style option.
    app.allow_windows_style_options(false);
    app.footer(kFooter);

    CLI::Option* device =
        app.add_option("--device", options.devicePath,
                       "use an existing serial device instead of a new pseudo-terminal")
            ->check(kPath)
            ->group("Line");
    app.add_option("--link", options.linkPath,
                   "also point the symbolic link PATH at the pseudo-terminal (removed at exit)")
        ->check(kPath)
        ->excludes(device)
        ->group("Line");

    app.add_flag("--json", options.json, "one JSON object per frame instead of a line for people")
        ->group("Output");
    app.add_option("--log", options.logPath, "append the frame lines to FILE instead of stdout")
        ->check(kPath)
        ->group("Output");
    bool noPace = false;
    const double byteMs =
        std::chrono::duration<double, std::milli>(LineTiming::WireTime(1)).count();
    char paceHelp[80];
    std::snprintf(paceHelp, sizeof paceHelp, "send without the %.2f ms per byte of a %u baud line",
                  byteMs, LineTiming::kBaudRate);
    app.add_flag("--no-pace", noPace, paceHelp)->group("Output");

    FaultOptions& faults = options.faults;
    CLI::Option* silent = app.add_flag("--silent", faults.silent, "never answer");
    CLI::Option* echoBytes =
        AddNumber(app, "--echo-bytes", faults.echoBytes, 0, 19, "echo only the first N bytes");
    Number corrupt, gapAt, dropAfter, maxFrames, maxSeconds;
    corrupt.option = AddNumber(app, "--corrupt", corrupt.value, 0, 18, "invert echo byte K");
    CLI::Option* delay = AddNumber(app, "--delay-ms", faults.delayMs, 0, kLongestPauseMs,
                                   "wait D ms before echoing");
    CLI::Option* gapMs = AddNumber(app, "--gap-ms", faults.gapMs, 0, kLongestPauseMs,
                                   "pause G ms before byte K of the answer (with --gap-at)");
    gapAt.option = AddNumber(app, "--gap-at", gapAt.value, 0, kLastAnswerByte,
                             "where that pause goes: 0-18 in the echo, 19 and on in the extra "
                             "bytes (19: between the echo and them)");
    CLI::Option* extra = AddNumber(app, "--extra", faults.extraBytes, 0, kMostExtraBytes,
                                   "append N bytes A5 5A A5 ... after the echo");
    dropAfter.option = AddNumber(app, "--drop-after", dropAfter.value, 1, 19,
                                 "once, after K bytes of a frame, drop the line without echo: "
                                 "close it and open a new one, printing a new 'port:' line");
    CLI::Option* dropEveryOther =
        app.add_flag("--drop-every-other", options.dropEveryOther,
                     "with --drop-after: drop again on the frame after each one answered, so "
                     "every other frame is cut, whoever used the line before")
            ->needs(dropAfter.option);
    gapMs->needs(gapAt.option);
    gapAt.option->needs(gapMs);
    for (CLI::Option* answer : {echoBytes, corrupt.option, delay, gapMs, gapAt.option, extra}) {
        silent->excludes(answer);
    }
    for (CLI::Option* fault : {silent, echoBytes, corrupt.option, delay, gapMs, gapAt.option, extra,
                               dropAfter.option, dropEveryOther}) {
        fault->group("Faults");
    }

    maxFrames.option = AddNumber(app, "--max-frames", maxFrames.value, 1, kLargestCount,
                                 "exit after N frames, once their answers are sent")
                           ->group("Limits");
    maxSeconds.option =
        AddNumber(app, "--max-seconds", maxSeconds.value, 1, kLargestCount, "exit after S seconds")
            ->group("Limits");

    ParsedOptions parsed;
    std::ostringstream out, err;
    const auto checkCorrupt = [&] {
        if (corrupt.option->count() > 0 && echoBytes->count() > 0 &&
            corrupt.value >= faults.echoBytes) {
            throw CLI::ValidationError("--corrupt " + std::to_string(corrupt.value) +
                                       " is past the " + std::to_string(faults.echoBytes) +
                                       " bytes --echo-bytes sends");
        }
    };
    if (const std::optional<int> status =
            CommandLine::Parse(app, argc, argv, out, err, checkCorrupt)) {
        parsed.exitStatus = *status;
        parsed.output = *status == 0 ? out.str() : err.str();
        return parsed;
    }
    options.pace = !noPace;
    faults.corruptIndex = corrupt.IfGiven();
    faults.gapIndex = gapAt.IfGiven();
    options.dropAfter = dropAfter.IfGiven();
    options.maxFrames = maxFrames.IfGiven();
    options.maxSeconds = maxSeconds.IfGiven();
    parsed.options = options;
    return parsed;
}
