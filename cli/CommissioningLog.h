#pragma once

#include <optional>
#include <string>

#include "store/RecordFile.h"

// The commissioning record: one JSON line an attempt, each written as the attempt ends, so that a
// record that cannot be kept is known at once.
class CommissioningLog {
public:
    CommissioningLog() = default;
    // Opened before anything is sent: without its record, no controller is set up.
    explicit CommissioningLog(const std::string& path);

    bool IsOpen() const { return file_.IsOpen(); }
    // Why the line was not kept; nothing when it was. It is written also where another batch
    // held the record's lock past the wait, or a stop signal ended the wait: the attempt was
    // made, and the stop then ends the batch.
    std::optional<std::string> Append(const std::string& line);
    std::optional<std::string> Close();

private:
    std::optional<std::string> Failure(const std::optional<FileFailure>& failure) const;

    std::string path_;
    RecordFile file_;
};
