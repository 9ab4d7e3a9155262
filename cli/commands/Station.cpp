#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "cli/CommissioningLog.h"
#include "cli/ExitStatus.h"
#include "cli/LoadValues.h"
#include "cli/Output.h"
#include "cli/PortOpening.h"
#include "cli/RecordFiles.h"
#include "cli/Timestamp.h"
#include "cli/UnitLabels.h"
#include "cli/ValueSources.h"
#include "cli/commands/Command.h"
#include "link/EchoRule.h"
#include "platform/StopSignals.h"
#include "platform/TerminalText.h"
#include "record/LabelText.h"
#include "record/ReportTally.h"
#include "store/FileReader.h"

namespace {

struct StationOptions {
    std::string profile;
    std::string port;
    std::string logPath;
    std::string unitPattern;
    std::string stationName;
};

// The verdict in letters five lines tall, to be read from across the bench.
std::string LargeWord(const std::string& word) {
    // Each letter's five rows of five columns, top to bottom.
    // clang-format off
    static const std::map<char, const char*> kLetters = {
        {'P', "#### "
              "#   #"
              "#### "
              "#    "
              "#    "},
        {'A', " ### "
              "#   #"
              "#####"
              "#   #"
              "#   #"},
        {'S', " ####"
              "#    "
              " ### "
              "    #"
              "#### "},
        {'F', "#####"
              "#    "
              "#### "
              "#    "
              "#    "},
        {'I', "#####"
              "  #  "
              "  #  "
              "  #  "
              "#####"},
        {'L', "#    "
              "#    "
              "#    "
              "#    "
              "#####"},
        {'N', "#   #"
              "##  #"
              "# # #"
              "#  ##"
              "#   #"},
        {'O', " ### "
              "#   #"
              "#   #"
              "#   #"
              " ### "},
        {'T', "#####"
              "  #  "
              "  #  "
              "  #  "
              "  #  "},
        {'R', "#### "
              "#   #"
              "#### "
              "#  # "
              "#   #"},
        {'E', "#####"
              "#    "
              "#### "
              "#    "
              "#####"},
        {'C', " ####"
              "#    "
              "#    "
              "#    "
              " ####"},
        {'D', "#### "
              "#   #"
              "#   #"
              "#   #"
              "#### "},
    };
    // clang-format on
    // Each word on rows of its own, so that two words still fit an 80-column terminal.
    std::string text;
    std::size_t start = 0;
    while (start < word.size()) {
        const std::size_t end = std::min(word.find(' ', start), word.size());
        text += text.empty() ? "" : "\n";
        for (int row = 0; row < 5; ++row) {
            std::string line = "  ";
            for (std::size_t i = start; i < end; ++i) {
                line += std::string(kLetters.at(word[i]) + row * 5, 5) + "  ";
            }
            text += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
        }
        start = end + 1;
    }
    return text;
}

// The units confirmed today (local date) in the record, with the time of the last. The record is
// read a chunk at a time, as the report reads it: of its lines only today's units are kept. What
// cannot be read names no unit; the record's opening for its lines says why.
std::map<std::string, std::string> DoneToday(const std::string& path) {
    std::map<std::string, std::string> done;
    FileReader file;
    if (file.Open(path)) {
        return done;
    }
    const std::string today = LocalDate(UtcTimestamp());
    ReadRecordFileLines(file, [&](const RecordLines::Line& line) {
        const std::optional<RecordEntry> entry =
            line.whole ? ReadRecordLine(line.text) : std::optional<RecordEntry>();
        if (entry && !entry->unit.empty() && ReportParts::Confirmed(*entry) &&
            LocalDate(entry->time) == today) {
            std::string& last = done[entry->unit];
            last = std::max(last, entry->time);
        }
    });
    return done;
}

struct Tally {
    int passed = 0;
    int failed = 0;
    int notRecorded = 0; // uploads whose line could not be written: the last one, if any
    bool notKept = false;
};

// The verdict large and in its colour where the terminal takes colours.
std::string LargeVerdict(const std::string& word, const char* colour) {
#ifdef _WIN32
    const bool ansi = false; // an older console shows the escapes as they are
#else
    const bool ansi = OutputIsTerminal();
#endif
    return ansi ? colour + LargeWord(word) + "\x1b[0m" : LargeWord(word);
}

// One unit whose label was taken: its upload, its line and its verdict. False when the line
// could not be written: the station then takes no more units, since each would be set up
// without a trace.
bool CommissionUnit(const StationOptions& options, const std::string& label,
                    const UploadFrame& frame, const ParameterSet& values, SerialPort& port,
                    CommissioningLog& log, std::map<std::string, std::string>& doneToday,
                    Tally& tally) {
    // Labels are scanned: a barcode's control bytes are shown, never obeyed by the terminal.
    const std::string shown = ShownLabel(label);
    const auto found = doneToday.find(label);
    if (found != doneToday.end() && LocalDate(found->second) == LocalDate(UtcTimestamp())) {
        WriteOut("  note: " + shown + " was confirmed today already, at " +
                 LocalTimeOfDay(found->second) + "\n");
    }
    const std::optional<TimedEcho> next = NextAttempt(port, options.port, frame, true);
    if (!next) {
        return true; // what the controller got is unknown: not recorded, as upload does
    }
    const TimedEcho& attempt = *next;
    const bool passed = attempt.result.outcome == EchoOutcome::kConfirmed;
    const std::string time = UtcTimestamp();
    const CommissioningLog::Appended record = log.Append(AttemptEntry(
        time, label, options.port, values, attempt.result.outcome, attempt.ms, kProgram));
    passed ? ++tally.passed : ++tally.failed;
    const std::string outcome = "  " + shown + "  " + DescribeEcho(attempt.result) + " in " +
                                std::to_string(attempt.ms) + " ms";
    if (record.failure) {
        Complain(*record.failure);
        tally.notKept = true;
        ++tally.notRecorded;
        WriteOut("\n" + LargeVerdict("NOT RECORDED", "\x1b[1;33m") + outcome + "; " +
                 *record.failure +
                 "\n  The station stops: no unit is set up without its line. "
                 "Mend the record, then start the station again.\n\n");
        return false;
    }
    if (passed) {
        doneToday[label] = time;
    }
    WriteOut("\n" + LargeVerdict(passed ? "PASS" : "FAIL", passed ? "\x1b[1;32m" : "\x1b[1;31m") +
             outcome + log.HeadAfterAttempt() + "\n\n");
    return true;
}

int RunStation(const StationOptions& options) {
    const Profile profile = LoadProfile(options.profile);
    UnitLabels labels(LabelArgument("--unit-pattern", options.unitPattern));
    const std::string station = StationName(options.stationName);
    std::map<std::string, std::string> doneToday = DoneToday(options.logPath);
    if (CaughtStopSignal()) {
        return kExitDone; // stopped while its record was read: nothing opened, nothing sent
    }
    CommissioningLog log(options.logPath, station, profile, {{"the profile", options.profile}});
    SerialPort port = OpenPort(options.port);
    const UploadFrame frame = FrameOf(profile.values);

    WriteOut("Station " + EscapedControls(station) + ": profile " + EscapedControls(profile.name) +
             " [" + ShortIdentity(ValuesIdentity(profile.values)) + "] on " + options.port +
             ", record " + options.logPath +
             ".\nScan each unit's label; end the input (Ctrl-D, Ctrl-Z on Windows) or press "
             "Ctrl-C to leave.\n\n");
    Tally tally;
    while (!CaughtStopSignal()) {
        WriteOut("Scan the next unit: ");
        const std::optional<InputLine> typed = ReadInputLine();
        if (!typed) {
            WriteOut("\n");
            break;
        }
        if (!typed->isText) {
            WriteOut("  REFUSED, nothing sent: the label is not " + TerminalEncoding() +
                     " text, the terminal's encoding\n\n");
            continue;
        }
        const std::string label = TrimmedLabel(typed->text);
        const std::string* line = &label;
        if (line->empty()) {
            continue;
        }
        if (const std::optional<std::string> refusal = labels.Refusal(*line)) {
            WriteOut("  REFUSED, nothing sent: " + *refusal + "\n\n");
            continue;
        }
        if (!CommissionUnit(options, *line, frame, profile.values, port, log, doneToday, tally)) {
            break;
        }
    }
    if (const std::optional<std::string> error = log.Close()) {
        Complain(*error);
        tally.notKept = true;
    }
    if (const std::optional<std::string> head = log.HeadAtEnd()) {
        PrintLine(*head);
    }
    PrintLine(
        Counted(tally.passed + tally.failed, "unit") + ": " + std::to_string(tally.passed) +
        " passed, " + std::to_string(tally.failed) + " failed" +
        (tally.notRecorded > 0 ? ", " + std::to_string(tally.notRecorded) + " not recorded" : ""));
    return tally.failed > 0 ? kExitUploadFailed : tally.notKept ? kExitNotSaved : kExitDone;
}

} // namespace

CommandAction DeclareStation(CLI::App& command) {
    const auto options = std::make_shared<StationOptions>();
    command.description(
        "a commissioning station: one approved profile, unit after unit; each scanned label is "
        "checked, the profile uploaded and its echo verified, and PASS or FAIL shown large with "
        "the label, with nothing to answer; the values cannot be changed");
    command.add_option("--profile", options->profile, "the approved profile (vkd37 profile)")
        ->check(CommandLine::kPath)
        ->required();
    command
        .add_option("--port", options->port,
                    "serial port: a device path on Linux, COMn (any n) on Windows; opened anew "
                    "when its adapter comes back")
        ->check(CommandLine::kPath)
        ->required();
    command
        .add_option("--log", options->logPath,
                    "the record every attempt is appended to, as upload --log; a label "
                    "confirmed in it today is named before it is sent again; a line it cannot "
                    "take is shown large as NOT RECORDED, and the station stops")
        ->check(CommandLine::kPath)
        ->required();
    command.add_option("--unit-pattern", options->unitPattern,
                       "refuse, before anything is sent, a label that does not match this "
                       "regular expression (the whole label)");
    AddStationName(command, options->stationName);
    return [options] { return RunStation(*options); };
}
