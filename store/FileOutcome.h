#pragma once

#include <functional>
#include <string>

#include "model/FileStamp.h"
#include "platform/IoFailure.h"

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

// Every error of the store names the user's file, as given, never a temporary one, but for the
// one save that leaves the only copy of the new contents in a temporary file.
using FileFailure = IoFailure<FileFault>;

inline std::string FileError(const char* verb, const char* name, const std::string& cause) {
    return CannotText(verb, name, cause);
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
    FileStamp stamp;     // the file as the save left it, when saved

    bool Saved() const { return how != SaveHow::kFailed; }
};

// How long a save waits for the lock that another program's save holds, and what ends the wait
// sooner: `keepWaiting` is asked at every poll, and false gives up with kStopped. Every other wait
// of the save (a lease, a scanner holding the new file) comes out of the same time.
// A save holds the lock for milliseconds. One held longer belongs to a program that hangs: the
// save then fails rather than wait for ever (the dialog would freeze; the tool would not stop).
constexpr int kSaveLockWaitMs = 10 * 1000;

struct LockWait {
    int limitMs = kSaveLockWaitMs;
    std::function<bool()> keepWaiting;
};
