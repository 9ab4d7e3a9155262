#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "cli/CommissioningLog.h"
#include "cli/ExitStatus.h"
#include "cli/JsonText.h"
#include "cli/LoadValues.h"
#include "cli/Output.h"
#include "cli/PortOpening.h"
#include "cli/SaveLockWait.h"
#include "cli/Timestamp.h"
#include "cli/UnitLabels.h"
#include "cli/ValueSources.h"
#include "cli/commands/Command.h"
#include "store/ParameterFile.h"
#include "record/LabelText.h"
#include "record/RecordEntry.h"
#include "record/ValueChanges.h"
#include "platform/StopSignals.h"

namespace {

struct UploadRequest {
    std::string port;
    ValueSource values;
    bool repeat = false;
    std::string logPath;     // empty: no log
    std::string unit;        // the first unit's label; empty: none
    std::string unitPattern; // JavaScript's syntax (LabelPattern); empty: any label, or none
    bool save = false;
    bool json = false;
    std::string profile;     // a profile file whose values are sent in place of FILE's
    std::string stationName; // empty: the host name
    bool showChanges = false;
};

// The profile's values in place of the file's, the port aside; nothing without --profile.
std::optional<Profile> ApplyProfile(const std::string& path, LoadedValues& loaded) {
    if (path.empty()) {
        return std::nullopt;
    }
    Profile profile = LoadProfile(path);
    const int port = loaded.set.m_nPort;
    loaded.set = profile.values;
    loaded.set.m_nPort = port;
    return profile;
}

// What is sent against the settings file (as it is, without --set) or, where there is none, the
// profile; where the input is a terminal the operator then says once whether to send. The list
// always goes to standard error, and with the question to the terminal a person reads: standard
// error, else standard output; with neither, nobody could read what is asked, and nothing is sent.
bool ConfirmChanges(const UploadRequest& request, const LoadedValues& loaded,
                    const std::optional<Profile>& profile) {
    ParameterSet base = loaded.set;
    std::string against;
    if (LoadParameterFile(request.values.file.c_str(), base).kind == LoadOutcome::Kind::kLoaded) {
        against = request.values.file;
    } else if (profile) {
        base = profile->values;
        against = "profile " + EscapedControls(profile->name);
    } else {
        base.ApplyMissingFileValues();
        against = "the start values";
    }
    const std::vector<ValueChange> changes = ValueChanges(base, loaded.set, false);
    std::string text = changes.empty() ? "no changes against " + against + "\n"
                                       : "changes against " + against + ":\n";
    for (const ValueChange& change : changes) {
        text += "  " + ChangeText(change) + "\n";
    }
    WriteError(text);
    if (!InputIsTerminal()) {
        return true;
    }
    constexpr char kQuestion[] = "Send these values? Type y and Enter to send: ";
    if (ErrorIsTerminal()) {
        WriteError(kQuestion);
    } else if (OutputIsTerminal()) {
        WriteOut(text + kQuestion);
    } else {
        throw CommandError(kExitUsage, "--show-changes asks at the terminal, but standard output "
                                       "and error both go elsewhere; nothing was sent");
    }
    const std::optional<InputLine> answer = ReadInputLine();
    return answer && (answer->text == "y" || answer->text == "Y");
}

int Upload(const UploadRequest& request) {
    const std::string& file = request.values.file;
    LoadedValues loaded =
        LoadValues(request.values, request.profile.empty() ? WhenMissing::kRefuseUpload
                                                           : WhenMissing::kStartValues);
    FileSight known = loaded.sight;
    const std::optional<Profile> profile = ApplyProfile(request.profile, loaded);
    // A save that could not go ahead as the file stands stops the upload before it starts.
    if (const SaveDecision save = DecideSave(known, known);
        request.save && save.verdict != SaveVerdict::kWrite) {
        throw CommandError(kExitUsage, FileError("change", file.c_str(), SaveRefusalText(save)) +
                                           "; nothing was sent");
    }
    RefuseWhatTheDialogRefuses(file, loaded);
    UnitLabels labels(LabelArgument("--unit-pattern", request.unitPattern));
    std::string unit = LabelArgument("--unit", request.unit);
    if (const std::optional<std::string> refusal = labels.Refusal(unit)) {
        throw CommandError(kExitUsage, *refusal + "; nothing was sent");
    }
    if (request.showChanges && !ConfirmChanges(request, loaded, profile)) {
        throw CommandError(kExitUsage, "not confirmed; nothing was sent");
    }
    CommissioningLog log(request.logPath, StationName(request.stationName), profile,
                         {{"the settings file", file}, {"the profile", request.profile}});
    SerialPort port = OpenPort(request.port);

    const UploadFrame frame = FrameOf(loaded.set);
    int confirmed = 0;
    int failed = 0;
    int unrecorded = 0; // attempts whose line the record did not take
    bool notKept = false;
    bool lineLost = false; // the record could not take an attempt's line: no more are made
    do {
        // What the controller got when a stop signal cut the exchange short is unknown: it is
        // not recorded.
        const std::optional<TimedEcho> next =
            NextAttempt(port, request.port, frame, request.repeat);
        if (!next) {
            break;
        }
        const TimedEcho& attempt = *next;
        attempt.result.outcome == EchoOutcome::kConfirmed ? ++confirmed : ++failed;

        const CommissioningLog::Appended record =
            log.Append(AttemptEntry(UtcTimestamp(), unit, request.port, loaded.set,
                                    attempt.result.outcome, attempt.ms, kProgram));
        labels.Sent(unit);
        if (record.failure) {
            Complain(*record.failure +
                     (request.repeat ? "; the batch stops: no controller is set up without its "
                                       "line in the record"
                                     : ""));
            notKept = true;
            lineLost = true;
            ++unrecorded;
        }
        PrintLine(request.json ? record.line
                               : DescribeEcho(attempt.result) + " in " +
                                     std::to_string(attempt.ms) + " ms" + log.HeadAfterAttempt());
        // Saved after the first attempt, whatever its outcome, as the dialog does, unless another
        // program has changed the file since; whole or not at all, whatever signal comes
        // meanwhile (a stop signal ends only a wait for the lock).
        if (request.save && confirmed + failed == 1) {
            const DecidedSave saved =
                SaveKnownFile(file.c_str(), loaded.set, known, SaveLockWait(file));
            if (!saved.outcome.Saved()) {
                Complain(saved.outcome.failure.text +
                         (saved.decision.verdict == SaveVerdict::kWrite
                              ? ""
                              : "; the values sent were not saved there"));
                notKept = true;
            }
        }
    } while (request.repeat && !lineLost && !CaughtStopSignal() && AskForUnit(labels, unit));

    if (const std::optional<std::string> error = log.Close()) {
        Complain(*error);
        notKept = true;
    }
    // A script reads the head from the lines themselves: each is the record's line as written.
    if (const std::optional<std::string> head = log.HeadAtEnd(); head && !request.json) {
        PrintLine(*head);
    }
    if (request.repeat) {
        // "unrecorded" only where the record refused a line: scripts that read the two counts
        // read them as before.
        Json batch = {{"confirmed", confirmed}, {"failed", failed}};
        if (unrecorded > 0) {
            batch["unrecorded"] = unrecorded;
        }
        PrintLine(request.json ? JsonText(batch)
                               : Counted(confirmed + failed, "upload") + ": " +
                                     std::to_string(confirmed) + " confirmed, " +
                                     std::to_string(failed) + " failed");
    }
    return failed > 0 ? kExitUploadFailed : notKept ? kExitNotSaved : kExitDone;
}

} // namespace

CommandAction DeclareUpload(CLI::App& command) {
    const auto upload = std::make_shared<UploadRequest>();
    upload->values.file = kParameterFileName;
    command.description("validate the values, send the frame and wait for its exact echo");
    command
        .add_option("--port", upload->port,
                    "serial port: a device path on Linux, COMn (any n) on Windows")
        ->check(CommandLine::kPath)
        ->required();
    AddFile(command, upload->values.file);
    AddChanges(command, upload->values.assignments);
    command.add_flag("--repeat", upload->repeat,
                     "one controller after another: after each upload take the next unit's "
                     "label and Enter (typed or scanned; Enter alone for none, q stops), then "
                     "print a summary; a port whose line was lost or hung up is opened anew first");
    command
        .add_option("--log", upload->logPath,
                    "append one JSON line per attempt (time, unit, port, frame, outcome, ms, "
                    "values, program), opened "
                    "before anything is sent; a line that cannot be written is reported at once "
                    "and ends a --repeat batch, and the exit status is then 4 if every upload "
                    "was confirmed; the record's head is printed after each upload and at the "
                    "end, as the station prints it, for report --verify --head")
        ->check(CommandLine::kPath);
    command.add_option("--unit", upload->unit,
                       "the unit's label, kept in the record (with --repeat, the first unit's; "
                       "the prompt takes the next one's)");
    command.add_option("--unit-pattern", upload->unitPattern,
                       "refuse, before anything is sent, a unit label that does not match this "
                       "regular expression (ECMAScript syntax, the whole label); every unit then "
                       "needs a label");
    CLI::Option* save =
        command.add_flag("--save", upload->save, "write the values used back to FILE");
    command
        .add_option("--profile", upload->profile,
                    "send a profile's values (vkd37 profile) in place of FILE's, and name the "
                    "profile and its identity in the record")
        ->check(CommandLine::kPath)
        ->excludes(save)
        ->excludes("--set");
    AddStationName(command, upload->stationName);
    command.add_flag("--show-changes", upload->showChanges,
                     "before sending, print the values that differ from FILE as it is (or from "
                     "the profile where there is no FILE), old -> new; at a terminal, ask once");
    AddJson(command, upload->json);
    return [upload] { return Upload(*upload); };
}
