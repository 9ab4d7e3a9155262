#include "cli/RecordFile.h"

#include "platform/ByteLock.h"
#include "platform/SystemError.h"

std::optional<std::string> RecordFile::Append(std::string_view line, const LockWait& wait) {
    const bool locked = LockByte(file_.get(), kLockOffset, wait.limitMs, kLockPollMs,
                                 wait.keepWaiting) == ByteLockOutcome::kTaken;
    const std::optional<std::string> failure = WriteWhole(line);
    if (locked) {
        UnlockByte(file_.get(), kLockOffset);
    }
    return failure;
}

std::optional<std::string> RecordFile::Close() {
    if (file_.Close()) {
        return std::nullopt;
    }
    return SystemErrorText(LastSystemError());
}
