#pragma once

// The steps a save of the store and a line of the record take alike over the file system: the
// one wait for the lock every save takes (kSaveLockOffset), a whole write, and a failed step in
// the system's words.

#include <string_view>

#include "store/FileStore.h"
#include "store/FileSystem.h"

// How a wait for the lock ended.
enum class LockEnd {
    kTaken,
    kNotKept, // the file system keeps no locks (some network and FUSE ones): nothing to wait for
    kHeld,    // another program held it past the wait
    kStopped, // the caller stopped waiting while it was held
    kFailed,  // the system refused the lock itself
};

// A wait as `wait` bounds it, by the file system's clock.
Deadline SaveDeadline(const LockWait& wait, const FileSystem& files);

// Tries at once, then at every turn of `deadline` while another program holds the lock; kFailed
// leaves `error`.
LockEnd WaitForSaveLock(FileSystem& files, FileRef file, Deadline& deadline,
                        SystemErrorCode& error);

// A write that moved nothing, where the system named no error.
constexpr SystemErrorCode kNothingWritten = static_cast<SystemErrorCode>(-1);

// All of `bytes` at `offset` (or at the end: FileSystem::kAtEnd), whatever one write takes.
SystemErrorCode WriteAll(FileSystem& files, FileRef file, std::uint64_t offset,
                         std::string_view bytes);

// "cannot <verb> <name>: <the system's words>", with the fault the error stands for.
FileFailure Failure(const FileSystem& files, const char* verb, const char* name,
                    SystemErrorCode error);
