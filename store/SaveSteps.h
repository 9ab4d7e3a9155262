#pragma once

// The steps of a save, each taken in its own way on each platform (FileStorePosix.cpp,
// FileStoreWin32.cpp); FileStore.cpp takes them in order. Paths are UTF-8; times are the file
// system's, in seconds.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "store/FileNames.h"
#include "store/FileStore.h"

// The cause that refuses a file of the kind named ("a FIFO", "a directory").
inline std::string NotARegularFile(const char* kind) {
    return std::string("it is ") + kind + ", not a regular file";
}

// The cause when another program's save has held the lock for all of the wait.
inline constexpr char kHeldByAnotherProgram[] = "another program holds the file";

// A file this user may not read is not read-only: only the system's words say why.
inline FileFailure ReadFailure(FileFailure failure) {
    if (failure.fault == FileFault::kReadOnly) {
        failure.fault = FileFault::kOther;
    }
    return failure;
}

// The file `name` leads to through any chain of symbolic links; it need not exist yet. Nothing,
// with failure set, when the links cannot be followed.
std::optional<std::string> FileBehindLinks(const char* name, bool reading, FileFailure& failure);

enum class Locking {
    kLocked,   // the file is open and locked for the save
    kMissing,  // there is no file to lock
    kReplaced, // another save put a new file in the place of the one locked: start again
    kFailed,   // the file cannot be opened or locked (error)
};

// A file open for a save and locked, as each platform holds it; the lock ends with it.
class LockedFile {
public:
    LockedFile() = default;
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;
    virtual ~LockedFile() = default;

    // Its first `limit` bytes.
    virtual bool Read(std::size_t limit, std::string& bytes, FileFailure& failure) = 0;

    enum class Replacement { kDone, kRefused, kFailed };
    // A new file holding `bytes` takes its place in one step where the new file can carry all it
    // has; kRefused, with nothing left behind, where it cannot. `written` is the write's time.
    virtual Replacement ReplaceWhole(std::string_view bytes, long long& written,
                                     FileFailure& failure) = 0;

    // Writes `bytes` into the file itself.
    virtual bool WriteInPlace(std::string_view bytes, long long& written, FileFailure& failure) = 0;
};

// Opens the file at `target` for a save (to read too when `reading`) and waits for its lock as
// `wait` says; nothing unless `locking` is kLocked.
std::unique_ptr<LockedFile> LockFile(const char* name, const std::string& target, bool reading,
                                     const LockWait& wait, Locking& locking, FileFailure& failure);

enum class Creation { kDone, kTaken, kFailed };

// Makes the file where there was none, with the time of the write; kTaken when another save
// made it meanwhile, whose change would otherwise be lost.
Creation CreateMissingFile(const char* name, const std::string& target, std::string_view bytes,
                           long long& written, FileFailure& failure);

#ifndef _WIN32
// The sync that takes each write of a save to the disk: fsync, or a test's own that watches it.
extern int (*g_storeSync)(int fd);
#endif

// Removes the temporary files beside `target` that no save under way can own any more, by the
// time `now` of the save just made.
void RemoveStaleTemporaryFiles(const std::string& target, long long now);
