#include "cli/Commands.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>
#include <regex>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "cli/Output.h"
#include "cli/PortList.h"
#include "store/RecordFile.h"
#include "cmdline/FrameOutput.h"
#include "link/FrameDecoder.h"
#include "link/SerialPort.h"
#include "link/UploadFrame.h"
#include "model/ParameterAssignment.h"
#include "store/ParameterFile.h"
#include "store/FileStore.h"
#include "model/ParameterTable.h"
#include "record/RecordEntry.h"
#include "record/RecordReport.h"
#include "platform/Handles.h"
#include "platform/StopSignals.h"
#include "platform/SystemError.h"

namespace {

using Json = nlohmann::ordered_json;
using Clock = std::chrono::steady_clock;

// Names come from the command line and the file system: bytes that are not UTF-8 are shown as
// U+FFFD rather than ending the program.
std::string JsonText(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void PrintLine(const std::string& text) {
    WriteOut(text + "\n");
}

// What a command does when its file is not there: start from the dialog's values, or refuse (an
// upload saying that nothing was sent).
enum class WhenMissing { kStartValues, kRefuse, kRefuseUpload };

struct LoadedValues {
    ParameterSet set;
    bool found = false;
    ParameterReading reading; // when found
};

// The file's values as the dialog would load them, with the changes applied. A file that is
// there but cannot be read is an error for every command: its values are unknown, and writing
// over it would lose them.
LoadedValues LoadValues(const ValueSource& source, WhenMissing whenMissing) {
    LoadedValues loaded;
    const LoadOutcome outcome = LoadParameterFile(source.file.c_str(), loaded.set);
    switch (outcome.kind) {
    case LoadOutcome::Kind::kLoaded:
        loaded.found = true;
        loaded.reading = outcome.reading;
        break;
    case LoadOutcome::Kind::kMissing:
        if (whenMissing == WhenMissing::kRefuseUpload) {
            throw CommandError(kExitUsage, outcome.failure.text + "; nothing was sent");
        }
        if (whenMissing == WhenMissing::kRefuse) {
            throw CommandError(kExitUsage, outcome.failure.text);
        }
        break;
    case LoadOutcome::Kind::kUnreadable:
        throw CommandError(kExitUsage, outcome.failure.text);
    }
    std::string error;
    if (!ApplyAssignments(source.assignments, loaded.set, error)) {
        throw CommandError(kExitUsage, error);
    }
    return loaded;
}

// How far the file's values went, for a person: "" when all were read.
std::string ReadingNote(const std::string& file, const LoadedValues& loaded) {
    const std::string incomplete = loaded.found ? IncompleteReadingText(loaded.reading) : "";
    if (incomplete.empty()) {
        return {};
    }
    return file + ": " + incomplete + (loaded.reading.values == 0 ? "; all" : "; the rest") +
           " read as 0";
}

// The wait for the file's lock, or a lease, that another program holds: said once it lasts
// (another save, or another batch's record line, holds the lock for milliseconds), ended at once
// by a stop signal, before anything has changed.
constexpr std::chrono::milliseconds kSayWaitAfter{500};

LockWait SaveLockWait(const std::string& file) {
    return {kSaveLockWaitMs,
            [file, since = std::optional<Clock::time_point>(), told = false]() mutable {
                since = since.value_or(Clock::now());
                if (!told && Clock::now() - *since >= kSayWaitAfter) {
                    Complain(file + ": another program holds the file; waiting up to " +
                             std::to_string(kSaveLockWaitMs / 1000) + " s for it");
                    told = true;
                }
                return CaughtStopSignal() == 0;
            }};
}

UploadFrame FrameOf(const ParameterSet& set) {
    UploadFrame frame{};
    BuildUploadFrame(set, frame);
    return frame;
}

std::string UtcTimestamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", std::gmtime(&seconds));
    char withMillis[48];
    std::snprintf(withMillis, sizeof withMillis, "%s.%03dZ", text, static_cast<int>(millis));
    return withMillis;
}

SerialPort OpenPort(const std::string& name) {
    SerialPort port;
    if (const PortError error = port.Open(name)) {
        throw CommandError(kExitPortUnavailable, *error);
    }
    return port;
}

// After a lost line the adapter was unplugged, or the next controller's plugged in: its device
// comes back under the same name. An invalid port when it has not come back in time, or when a
// stop signal came first.
SerialPort ReopenPort(const std::string& name) {
    constexpr std::chrono::seconds kComeBackLimit{10};
    constexpr std::chrono::milliseconds kRetryPause{200};
    Complain("the line was lost; waiting up to " + std::to_string(kComeBackLimit.count()) +
             " s for " + name + " to come back");
    const Clock::time_point deadline = Clock::now() + kComeBackLimit;
    for (;;) {
        SerialPort port;
        const PortError error = port.Open(name);
        if (!error) {
            Complain("reopened " + name);
            return port;
        }
        if (Clock::now() >= deadline) {
            Complain(*error);
            return port;
        }
        std::this_thread::sleep_for(kRetryPause);
        if (CaughtStopSignal()) {
            return port;
        }
    }
}

constexpr char kProgram[] = "vkd37 " VKD_VERSION;

// The commissioning record: one JSON line an attempt, each written as the attempt ends, so that a
// record that cannot be kept is known at once.
class CommissioningLog {
public:
    CommissioningLog() = default;
    // Opened before anything is sent: without its record, no controller is set up.
    explicit CommissioningLog(const std::string& path) : path_(path) {
        if (const std::optional<FileFailure> failure = file_.Open(path)) {
            throw CommandError(kExitUsage, "cannot open the log " + path + ": " + failure->cause);
        }
    }

    bool IsOpen() const { return file_.IsOpen(); }
    // Why the line was not kept; nothing when it was. It is written also where another batch
    // held the record's lock past the wait, or a stop signal ended the wait: the attempt was
    // made, and the stop then ends the batch.
    std::optional<std::string> Append(const std::string& line) {
        return Failure(file_.Append(line + "\n", SaveLockWait(path_)).failure);
    }
    std::optional<std::string> Close() { return Failure(file_.Close()); }

private:
    std::optional<std::string> Failure(const std::optional<FileFailure>& failure) const {
        if (!failure) {
            return std::nullopt;
        }
        return "cannot write the log " + path_ + ": " + failure->cause;
    }

    std::string path_;
    RecordFile file_;
};

// A label given with --unit, without the blanks around it (the prompt's lines come trimmed).
std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The unit labels of one batch: each checked against --unit-pattern, and those sent already
// remembered, so that a unit sent twice is asked about once more.
class UnitLabels {
public:
    explicit UnitLabels(const std::string& pattern) : patternText_(pattern) {
        if (pattern.empty()) {
            return;
        }
        try {
            pattern_.emplace(pattern, std::regex::ECMAScript);
        } catch (const std::regex_error& error) {
            throw CommandError(kExitUsage, "--unit-pattern '" + pattern +
                                               "' is not a pattern: " + error.what());
        }
    }

    // Why the label may not be sent; nothing when it may. An empty label is no label.
    std::optional<std::string> Refusal(const std::string& label) const {
        if (!pattern_) {
            return std::nullopt;
        }
        if (label.empty()) {
            return "a unit label matching --unit-pattern '" + patternText_ + "' is needed";
        }
        try {
            if (std::regex_match(label, *pattern_)) {
                return std::nullopt;
            }
        } catch (const std::regex_error& error) {
            return "the unit label '" + label + "' cannot be matched: " + error.what();
        }
        return "the unit label '" + label + "' does not match --unit-pattern '" + patternText_ +
               "'";
    }

    bool WasSent(const std::string& label) const { return sent_.count(label) != 0; }
    void Sent(const std::string& label) {
        if (!label.empty()) {
            sent_.insert(label);
        }
    }

private:
    std::string patternText_;
    std::optional<std::regex> pattern_;
    std::set<std::string> sent_;
};

// One answer at the prompt, without the blanks around it; nothing for q, the end of input or a
// stop signal.
std::optional<std::string> Answer(const std::string& question) {
    WriteError(question);
    const std::optional<std::string> answer = ReadInputLine();
    if (!answer) {
        WriteError("\n");
        return std::nullopt;
    }
    if (*answer == "q" || *answer == "Q") {
        return std::nullopt;
    }
    return answer;
}

// Waits for the operator between two controllers and takes the next one's label, typed or
// scanned (a scanner types it and Enter); nothing typed is no label. A label the pattern refuses
// is asked for again, and one sent before in the batch is asked about once more: Enter sends it
// again. False when the operator stops.
bool AskForUnit(const UnitLabels& labels, std::string& unit) {
    std::optional<std::string> label = Answer("Connect the next controller, type its unit label or "
                                              "nothing, and press Enter (q to stop): ");
    while (label) {
        if (const std::optional<std::string> refusal = labels.Refusal(*label)) {
            Complain(*refusal);
            label = Answer("Type the unit label again and press Enter (q to stop): ");
        } else if (labels.WasSent(*label)) {
            const std::optional<std::string> again =
                Answer(*label + " was sent in this batch already: press Enter to send it again, "
                                "or type another label (q to stop): ");
            if (again && again->empty()) {
                break;
            }
            label = again;
        } else {
            break;
        }
    }
    if (label) {
        unit = *label;
    }
    return label.has_value();
}

// Values the dialog would not send, named; where the file held fewer values, why they are 0.
void RefuseWhatTheDialogRefuses(const std::string& file, const LoadedValues& loaded) {
    std::string refused;
    for (const std::string& problem : RefusedValues(loaded.set, false)) {
        refused += (refused.empty() ? "" : "\nvkd37: ") + problem;
    }
    if (refused.empty()) {
        return;
    }
    if (const std::string note = ReadingNote(file, loaded); !note.empty()) {
        refused += "\nvkd37: " + note;
    }
    throw CommandError(kExitUsage, refused);
}

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

const char* ReadStopName(ReadStop stop) {
    switch (stop) {
    case ReadStop::kComplete:
        return "complete";
    case ReadStop::kEndOfText:
        return "end-of-text";
    case ReadStop::kNotANumber:
        return "not-a-number";
    case ReadStop::kOutOfRange:
        return "out-of-range";
    case ReadStop::kReadLimit:
        return "read-limit";
    }
    return "";
}

} // namespace

int ShowValues(const std::string& file, bool json) {
    const LoadedValues loaded = LoadValues({file, {}}, WhenMissing::kStartValues);
    Json values = Json::array();
    std::string text = file + ": not found; the values the dialog starts with:\n";
    if (loaded.found) {
        const std::string note = ReadingNote(file, loaded);
        text = note.empty() ? file + ":\n"
                            : note + ", as in the dialog" +
                                  (loaded.reading.StoppedAtUnreadable()
                                       ? "; set and upload --save leave the file as it is:\n"
                                       : ":\n");
    }
    for (const ParameterField& field : ParameterFields()) {
        const int value = loaded.set.*(field.member);
        const bool accepted = IsAccepted(field, value);
        values.push_back({{"name", field.name},
                          {"value", value},
                          {"min", field.min},
                          {"max", field.max},
                          {"accepted", accepted}});
        char line[160];
        std::snprintf(line, sizeof line, "  %-14s %-13s %s%s\n", field.name,
                      ValueText(field, value).c_str(), AcceptedText(field).c_str(),
                      accepted ? "" : "   !! the dialog refuses this value");
        text += line;
    }
    if (json) {
        Json shown = {{"file", file}, {"found", loaded.found}};
        if (loaded.found) {
            const ParameterReading& reading = loaded.reading;
            shown["reading"] = {{"values", reading.values},
                                {"stop", ReadStopName(reading.stop)},
                                {"offset", reading.stopOffset},
                                {"byteOrderMark", reading.byteOrderMark}};
        }
        shown["values"] = values;
        PrintLine(JsonText(shown));
    } else {
        WriteOut(text);
    }
    return kExitDone;
}

// Read, changed and written under the file's lock: two runs at once both land.
int SetValues(const ValueSource& values) {
    const auto applyAssignments = [&values](ParameterSet& set, FileFailure& failure) {
        failure.fault = FileFault::kRefused;
        return ApplyAssignments(values.assignments, set, failure.text);
    };
    const SaveOutcome saved =
        UpdateParameterFile(values.file.c_str(), applyAssignments, SaveLockWait(values.file));
    if (!saved.Saved()) {
        throw CommandError(kExitUsage, saved.failure.text);
    }
    return kExitDone;
}

int PrintFrame(const ValueSource& values, bool json) {
    const UploadFrame frame = FrameOf(LoadValues(values, WhenMissing::kRefuse).set);
    PrintLine(json ? JsonText({{"bytes", FrameHex(frame, "")}}) : FrameHex(frame, " "));
    return kExitDone;
}

int DecodeHex(const std::string& hex, bool json) {
    const std::optional<UploadFrame> frame = ParseHexFrame(hex);
    if (!frame) {
        throw CommandError(kExitUsage, "'" + hex + "' is not a frame: expected " + kHexFrameForm);
    }
    const DecodedFrame decoded = DecodeFrame(*frame);
    PrintLine(json ? JsonText(FrameJson(decoded)) : DescribeFrame(decoded));
    return kExitDone;
}

int Upload(const UploadRequest& request) {
    const std::string& file = request.values.file;
    const LoadedValues loaded = LoadValues(request.values, WhenMissing::kRefuseUpload);
    // What could not be read would be lost by the save.
    if (request.save && loaded.reading.StoppedAtUnreadable()) {
        throw CommandError(kExitUsage,
                           FileError("change", file.c_str(), UnreadableValuesText(loaded.reading)) +
                               "; nothing was sent");
    }
    RefuseWhatTheDialogRefuses(file, loaded);
    UnitLabels labels(request.unitPattern);
    std::string unit = Trimmed(request.unit);
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
        // Saved after the first attempt, whatever its outcome, as the dialog does; whole or not
        // at all, whatever signal comes meanwhile (a stop signal ends only a wait for the lock).
        if (request.save && confirmed + failed == 1) {
            const SaveOutcome saved =
                SaveParameterFile(file.c_str(), loaded.set, SaveLockWait(file));
            if (!saved.Saved()) {
                Complain(saved.failure.text);
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

int ListPorts(bool json) {
    const std::vector<PortEntry> ports = ListSerialPorts();
    if (json) {
        Json list = Json::array();
        for (const PortEntry& entry : ports) {
            list.push_back({{"port", entry.port}, {"device", entry.device}});
        }
        PrintLine(JsonText(list));
        return kExitDone;
    }
    for (const PortEntry& entry : ports) {
        PrintLine(entry.port == entry.device ? entry.port : entry.port + "  " + entry.device);
    }
    if (ports.empty()) {
        Complain("no serial ports found");
    }
    return kExitDone;
}

namespace {

// "line 7", "lines 7, 9, 12", at most ten numbers.
std::string LinesLeftOut(const std::vector<std::size_t>& numbers) {
    constexpr std::size_t kNamed = 10;
    std::string text = numbers.size() == 1 ? "line " : "lines ";
    for (std::size_t i = 0; i < numbers.size() && i < kNamed; ++i) {
        text += (i == 0 ? "" : ", ") + std::to_string(numbers[i]);
    }
    if (numbers.size() > kNamed) {
        text += " and " + std::to_string(numbers.size() - kNamed) + " more";
    }
    return text + (numbers.size() == 1 ? " is not a record entry" : " are not record entries") +
           ", left out";
}

} // namespace

int Report(const std::vector<std::string>& records, ReportForm form) {
    // Far beyond years of records (a line is under 500 bytes); the file is read whole.
    constexpr std::size_t kRecordReadLimit = std::size_t{1} << 30;
    CommissioningRecord record;
    for (const std::string& path : records) {
        std::string text;
        FileFailure failure;
        if (ReadFileContents(path.c_str(), kRecordReadLimit, text, failure) != ReadOutcome::kRead) {
            throw CommandError(kExitUsage, failure.text);
        }
        if (text.size() == kRecordReadLimit) {
            throw CommandError(kExitUsage, "cannot read " + path + ": it is larger than " +
                                               std::to_string(kRecordReadLimit >> 20) + " MiB");
        }
        const std::vector<std::size_t> leftOut = ReadRecordText(text, record);
        if (!leftOut.empty()) {
            Complain(path + ": " + LinesLeftOut(leftOut));
        }
    }
    switch (form) {
    case ReportForm::kSummary:
        WriteOut(ReportSummary(record, ReportLanguage::kEnglish));
        break;
    case ReportForm::kCsv:
        WriteOut(ReportCsv(record));
        break;
    case ReportForm::kHtml:
        WriteOut(ReportHtml(record, ReportLanguage::kEnglish, kProgram));
        break;
    }
    return kExitDone;
}
