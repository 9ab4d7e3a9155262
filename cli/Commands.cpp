#include "cli/Commands.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <optional>

#include <nlohmann/json.hpp>

#include "cli/ParameterNames.h"
#include "model/ParameterTable.h"
#include "cli/PortList.h"
#include "link/FrameReport.h"
#include "link/SerialPort.h"
#include "link/UploadFrame.h"
#include "model/ParameterFile.h"

namespace {

using Json = nlohmann::ordered_json;
using Clock = std::chrono::steady_clock;

void Fail(const std::string& message) {
    std::fprintf(stderr, "vkd37: %s\n", message.c_str());
}

void PrintLine(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

struct LoadedValues {
    ParameterSet set;
    bool found = false;
};

// The file's values as the dialog would load them, with the changes applied. Reports the first
// bad change and returns nothing then.
std::optional<LoadedValues> LoadValues(const ValueSource& source) {
    LoadedValues loaded;
    loaded.found = LoadParameterFile(source.file.c_str(), loaded.set);
    for (const std::string& assignment : source.assignments) {
        std::string error;
        if (!ApplyAssignment(assignment, loaded.set, error)) {
            Fail(error);
            return std::nullopt;
        }
    }
    return loaded;
}

UploadFrame FrameOf(const ParameterSet& set) {
    UploadFrame frame{};
    BuildUploadFrame(set, frame);
    return frame;
}

std::optional<UploadFrame> ParseHexFrame(const std::string& text) {
    UploadFrame frame{};
    std::size_t digits = 0;
    for (const char c : text) {
        if (c == ' ' || c == ':' || c == '-') {
            continue;
        }
        int nibble = -1;
        if (c >= '0' && c <= '9') {
            nibble = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            nibble = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            nibble = c - 'A' + 10;
        }
        if (nibble < 0 || digits == 2 * frame.size()) {
            return std::nullopt;
        }
        frame[digits / 2] = static_cast<std::uint8_t>(frame[digits / 2] << 4 | nibble);
        ++digits;
    }
    if (digits != 2 * frame.size()) {
        return std::nullopt;
    }
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

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Waits for the operator between two controllers: Enter goes on, q or the end of input stops.
bool OperatorWantsAnother() {
    std::fputs("Connect the next controller and press Enter (q to stop): ", stderr);
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        std::fputc('\n', stderr);
        return false;
    }
    return answer != "q" && answer != "Q";
}

} // namespace

int ShowValues(const std::string& file, bool json) {
    const std::optional<LoadedValues> loaded = LoadValues({file, {}});
    Json values = Json::array();
    std::string text =
        loaded->found ? file + ":\n" : file + ": not found; the values the dialog starts with:\n";
    for (const ParameterField& field : ParameterFields()) {
        const int value = loaded->set.*(field.member);
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
        PrintLine(Json{{"file", file}, {"found", loaded->found}, {"values", values}}.dump());
    } else {
        std::fputs(text.c_str(), stdout);
    }
    return kExitDone;
}

int SetValues(const ValueSource& values) {
    const std::optional<LoadedValues> loaded = LoadValues(values);
    if (!loaded) {
        return kExitUsage;
    }
    if (!SaveParameterFile(values.file.c_str(), loaded->set)) {
        Fail("cannot write " + values.file);
        return kExitUsage;
    }
    return kExitDone;
}

int PrintFrame(const ValueSource& values, bool json) {
    const std::optional<LoadedValues> loaded = LoadValues(values);
    if (!loaded) {
        return kExitUsage;
    }
    const UploadFrame frame = FrameOf(loaded->set);
    PrintLine(json ? Json{{"bytes", FrameHex(frame, "")}}.dump() : FrameHex(frame, " "));
    return kExitDone;
}

int DecodeHex(const std::string& hex, bool json) {
    const std::optional<UploadFrame> frame = ParseHexFrame(hex);
    if (!frame) {
        Fail("'" + hex + "' is not a frame: expected 19 bytes as 38 hex digits");
        return kExitUsage;
    }
    const DecodedFrame decoded = DecodeFrame(*frame);
    PrintLine(json ? FrameJson(decoded).dump() : DescribeFrame(decoded));
    return kExitDone;
}

int Upload(const UploadRequest& request) {
    const std::optional<LoadedValues> loaded = LoadValues(request.values);
    if (!loaded) {
        return kExitUsage;
    }
    const std::vector<std::string> refused = RefusedValues(loaded->set, false);
    for (const std::string& problem : refused) {
        Fail(problem);
    }
    if (!refused.empty()) {
        return kExitUsage;
    }
    FilePtr log;
    if (!request.logPath.empty()) {
        log.reset(std::fopen(request.logPath.c_str(), "a"));
        if (!log) {
            Fail("cannot open the log " + request.logPath);
            return kExitUsage;
        }
    }
    OpenFailure failure = OpenFailure::kNone;
    std::string error;
    SerialPort port = SerialPort::Open(request.port, failure, error);
    if (!port.IsOpen()) {
        Fail(error);
        return kExitPortUnavailable;
    }

    const UploadFrame frame = FrameOf(loaded->set);
    int confirmed = 0;
    int failed = 0;
    do {
        const Clock::time_point start = Clock::now();
        const EchoResult result = port.Exchange(frame);
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        result.outcome == EchoOutcome::kConfirmed ? ++confirmed : ++failed;

        const Json record = {{"time", UtcTimestamp()},
                             {"port", request.port},
                             {"frame", FrameHex(frame, "")},
                             {"outcome", EchoOutcomeName(result.outcome)},
                             {"ms", elapsed}};
        if (log) {
            std::fprintf(log.get(), "%s\n", record.dump().c_str());
            std::fflush(log.get());
        }
        PrintLine(request.json ? record.dump()
                               : DescribeEcho(result) + " in " + std::to_string(elapsed) + " ms");
        // Saved after the first attempt, whatever its outcome, as the dialog does.
        if (request.save && confirmed + failed == 1 &&
            !SaveParameterFile(request.values.file.c_str(), loaded->set)) {
            Fail("cannot write " + request.values.file);
        }
    } while (request.repeat && OperatorWantsAnother());

    if (request.repeat) {
        PrintLine(request.json ? Json{{"confirmed", confirmed}, {"failed", failed}}.dump()
                               : std::to_string(confirmed + failed) +
                                     " uploads: " + std::to_string(confirmed) + " confirmed, " +
                                     std::to_string(failed) + " failed");
    }
    return failed == 0 ? kExitDone : kExitUploadFailed;
}

int ListPorts(bool json) {
    const std::vector<PortEntry> ports = ListSerialPorts();
    if (json) {
        Json list = Json::array();
        for (const PortEntry& entry : ports) {
            list.push_back({{"port", entry.port}, {"device", entry.device}});
        }
        PrintLine(list.dump());
        return kExitDone;
    }
    for (const PortEntry& entry : ports) {
        PrintLine(entry.port == entry.device ? entry.port : entry.port + "  " + entry.device);
    }
    if (ports.empty()) {
        Fail("no serial ports found");
    }
    return kExitDone;
}
