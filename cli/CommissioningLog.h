#pragma once

#include <optional>
#include <string>

#include "cli/RecordFile.h"

// The commissioning record: one JSON line an attempt, each written as the attempt ends, so that a
// record that cannot be kept is known at once.
class CommissioningLog {
public:
    CommissioningLog() = default;
    // Opened before anything is sent: without its record, no controller is set up.
    explicit CommissioningLog(const std::string& path);

    bool IsOpen() const { return file_.IsOpen(); }
    // Why the line was not kept; nothing when it was.
    std::optional<std::string> Append(const std::string& line);
    std::optional<std::string> Close();

private:
    std::optional<std::string> Failure(const std::optional<std::string>& cause) const;

    std::string path_;
    RecordFile file_;
};
