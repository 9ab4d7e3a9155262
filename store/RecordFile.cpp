#include "store/RecordFile.h"

#include "store/FileStore.h"
#include "platform/ByteLock.h"
#include "platform/SystemError.h"

std::optional<std::string> RecordFile::Append(std::string_view line, const LockWait& wait) {
    // The byte and the pace of the lock every save takes.
    const bool locked = LockByte(file_.get(), kSaveLockOffset, wait.limitMs, kSaveLockPollMs,
                                 wait.keepWaiting) == ByteLockOutcome::kTaken;
    const std::optional<std::string> failure = WriteWhole(line);
    if (locked) {
        UnlockByte(file_.get(), kSaveLockOffset);
    }
    return failure;
}

std::optional<std::string> RecordFile::Close() {
    if (file_.Close()) {
        return std::nullopt;
    }
    return SystemErrorText(LastSystemError());
}
