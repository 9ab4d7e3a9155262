#pragma once

#include <cstdint>

#include "platform/Handles.h"

// An exclusive lock of one byte of an open file, placed far beyond any content since Windows
// enforces its locks against reading. Wine turns LockFileEx into a record lock on the same byte
// of the Linux file, which conflicts with the open file description lock taken natively, so a
// program under Wine and a native one exclude each other.
enum class ByteLockOutcome {
    kTaken,
    kNotKept, // the file system keeps no locks (some network and FUSE ones)
    kHeld,    // another program holds it
    kFailed,  // the system refused; the last system error says why
};

#ifdef _WIN32
using LockedFileHandle = HANDLE;
#else
using LockedFileHandle = int;
#endif

// One try, at once: kHeld when another program holds the lock. The lock lasts until UnlockByte
// or until the file is closed. A wait for it is a Deadline's (the store's WaitForSaveLock).
ByteLockOutcome TryLockByte(LockedFileHandle file, std::uint64_t offset);
bool UnlockByte(LockedFileHandle file, std::uint64_t offset);
