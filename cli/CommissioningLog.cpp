#include "cli/CommissioningLog.h"

#include "cli/ExitStatus.h"
#include "cli/SaveLockWait.h"

CommissioningLog::CommissioningLog(const std::string& path) : path_(path) {
    if (const std::optional<FileFailure> failure = file_.Open(path)) {
        throw CommandError(kExitUsage, "cannot open the log " + path + ": " + failure->cause);
    }
}

std::optional<std::string> CommissioningLog::Append(const std::string& line) {
    return Failure(file_.Append(line + "\n", SaveLockWait(path_)).failure);
}

std::optional<std::string> CommissioningLog::Close() {
    return Failure(file_.Close());
}

std::optional<std::string>
CommissioningLog::Failure(const std::optional<FileFailure>& failure) const {
    if (!failure) {
        return std::nullopt;
    }
    return "cannot write the log " + path_ + ": " + failure->cause;
}
