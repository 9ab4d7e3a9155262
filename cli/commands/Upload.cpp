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
#include "cli/commands/Command.h"
#include "store/ParameterFile.h"
#include "record/RecordEntry.h"
#include "platform/StopSignals.h"

namespace {

using Clock = std::chrono::steady_clock;

struct UploadRequest {
    std::string port;
    ValueSource values;
    bool repeat = false;
    std::string logPath;     // empty: no log
    std::string unit;        // the first unit's label; empty: none
    std::string unitPattern; // JavaScript's syntax (LabelPattern); empty: any label, or none
    bool save = false;
    bool json = false;
};

struct Attempt {
    EchoResult result;
    long long ms = 0;
};

Attempt Exchange(SerialPort& port, const UploadFrame& frame) {
    const Clock::time_point start = Clock::now();
    const EchoResult result =
        port.IsOpen() ? port.Exchange(frame) : EchoResult{EchoOutcome::kLineLost, 0};
    return {result,
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count()};
}

int Upload(const UploadRequest& request) {
    const std::string& file = request.values.file;
    const LoadedValues loaded = LoadValues(request.values, WhenMissing::kRefuseUpload);
    FileSight known = loaded.sight;
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
    CommissioningLog log;
    if (!request.logPath.empty()) {
        log = CommissioningLog(request.logPath);
    }
    SerialPort port = OpenPort(request.port);

    const UploadFrame frame = FrameOf(loaded.set);
    int confirmed = 0;
    int failed = 0;
    bool notKept = false;
    do {
        // An adapter unplugged between two controllers hangs its line up without a word.
        if (!port.IsOpen() || !port.IsAlive()) {
            port.Close();
            port = ReopenPort(request.port);
        }
        if (CaughtStopSignal()) {
            break;
        }
        // Answers typed ahead must not beat the last controller's bytes after its echo.
        if (request.repeat && port.IsOpen()) {
            port.AwaitQuietLine();
        }
        const Attempt attempt = Exchange(port, frame);
        // A stop signal cuts an exchange short, and what the controller got is then unknown: it
        // is not recorded. A confirmed echo is known, and kept as usual.
        if (CaughtStopSignal() && attempt.result.outcome != EchoOutcome::kConfirmed) {
            break;
        }
        attempt.result.outcome == EchoOutcome::kConfirmed ? ++confirmed : ++failed;
        if (attempt.result.outcome == EchoOutcome::kLineLost) {
            port.Close(); // opened anew before the next attempt
        }

        const std::string record =
            RecordLine(AttemptEntry(UtcTimestamp(), unit, request.port, loaded.set,
                                    attempt.result.outcome, attempt.ms, kProgram));
        labels.Sent(unit);
        if (log.IsOpen()) {
            if (const std::optional<std::string> error = log.Append(record)) {
                Complain(*error);
                notKept = true;
            }
        }
        PrintLine(request.json
                      ? record
                      : DescribeEcho(attempt.result) + " in " + std::to_string(attempt.ms) + " ms");
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
    } while (request.repeat && !CaughtStopSignal() && AskForUnit(labels, unit));

    if (const std::optional<std::string> error = log.Close()) {
        Complain(*error);
        notKept = true;
    }
    if (request.repeat) {
        PrintLine(request.json ? JsonText({{"confirmed", confirmed}, {"failed", failed}})
                               : std::to_string(confirmed + failed) +
                                     " uploads: " + std::to_string(confirmed) + " confirmed, " +
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
                    "before anything is sent; a line that cannot be written is reported at once, "
                    "and the exit status is then 4 if every upload was confirmed")
        ->check(CommandLine::kPath);
    command.add_option("--unit", upload->unit,
                       "the unit's label, kept in the record (with --repeat, the first unit's; "
                       "the prompt takes the next one's)");
    command.add_option("--unit-pattern", upload->unitPattern,
                       "refuse, before anything is sent, a unit label that does not match this "
                       "regular expression (ECMAScript syntax, the whole label); every unit then "
                       "needs a label");
    command.add_flag("--save", upload->save, "write the values used back to FILE");
    AddJson(command, upload->json);
    return [upload] { return Upload(*upload); };
}
