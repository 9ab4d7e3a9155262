#pragma once

#include <functional>
#include <string>

#include "platform/IoFailure.h"
#include "platform/SystemError.h"

// What a load or a save of a file came to. The store says what happened; each face (the dialog,
// the tool, the page) says it in its own words.

// Why the store could not do what was asked.
enum class FileFault {
    kHeld,     // another program holds the file: open unshared, its save lock held past the wait
    kReadOnly, // the file, its folder or its disk may not be written by this user
    kNoRoom,   // the disk, a quota or the file-size limit left no room
    kNotAFile, // a directory, FIFO, socket or device, or a name that leads to one
    kStopped,  // a stop signal or the caller ended the wait for the lock; nothing was changed
    kRefused,  // the change refused the file's contents (values that could not be read)
    kOther,    // anything else; the text gives the system's words
};

// Every error of the store names the user's file, as given, never a temporary one.
using FileFailure = IoFailure<FileFault>;

inline std::string FileError(const char* verb, const char* name, const std::string& cause) {
    return CannotText(verb, name, cause);
}

// The fault a system error code stands for (FileStorePosix.cpp, FileStoreWin32.cpp).
FileFault FaultOfSystemError(SystemErrorCode code);

// A failed step in the system's words, its fault told by the code.
inline FileFailure StoreFailure(const char* verb, const char* name, SystemErrorCode code) {
    const std::string cause = SystemErrorText(code);
    return {FaultOfSystemError(code), FileError(verb, name, cause), cause};
}

inline FileFailure StoreFailure(FileFault fault, const char* verb, const char* name,
                                const std::string& cause) {
    return {fault, FileError(verb, name, cause), cause};
}

// How a save went.
enum class SaveHow {
    kReplaced,       // a new file took the old one's place in one step
    kWrittenInPlace, // the old file itself now holds the new contents
    kCreated,        // there was no file; now there is
    kFailed,         // nothing was changed (failure says why)
};

struct SaveOutcome {
    SaveHow how = SaveHow::kFailed;
    FileFailure failure; // when kFailed

    bool Saved() const { return how != SaveHow::kFailed; }
};

// How long a save waits for the lock that another program's save holds, and what ends the wait
// sooner: `keepWaiting` is asked at every poll, and false gives up with kStopped.
// A save holds the lock for milliseconds. One held longer belongs to a program that hangs: the
// save then fails rather than wait for ever (the dialog would freeze; the tool would not stop).
constexpr int kSaveLockWaitMs = 10 * 1000;

struct LockWait {
    int limitMs = kSaveLockWaitMs;
    std::function<bool()> keepWaiting;
};
