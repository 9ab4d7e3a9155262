#pragma once

#include <cstdint>
#include <functional>
#include <string>

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

// A file as the store saw it: which file (its volume and its number there), how long, and when
// it was last written by the file system's clock. A face that keeps the stamp of its last load or
// save can tell by a later one whether another program has written the file meanwhile.
struct FileStamp {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int32_t modifiedNanoseconds = 0;

    bool SameFile(const FileStamp& other) const {
        return volume == other.volume && index == other.index;
    }
    friend bool operator==(const FileStamp& one, const FileStamp& other) {
        return one.SameFile(other) && one.size == other.size &&
               one.modifiedSeconds == other.modifiedSeconds &&
               one.modifiedNanoseconds == other.modifiedNanoseconds;
    }
    friend bool operator!=(const FileStamp& one, const FileStamp& other) { return !(one == other); }
};

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
