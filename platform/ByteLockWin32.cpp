#include "platform/ByteLock.h"

namespace {

OVERLAPPED Place(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

} // namespace

ByteLockOutcome TryLockByte(HANDLE file, std::uint64_t offset) {
    OVERLAPPED at = Place(offset);
    if (::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        return ByteLockOutcome::kTaken;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION) {
        return ByteLockOutcome::kNotKept;
    }
    return error == ERROR_LOCK_VIOLATION ? ByteLockOutcome::kHeld : ByteLockOutcome::kFailed;
}

bool UnlockByte(HANDLE file, std::uint64_t offset) {
    OVERLAPPED at = Place(offset);
    return ::UnlockFileEx(file, 0, 1, 0, &at) != FALSE;
}
