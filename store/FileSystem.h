#pragma once

// The seam under the store: each call is one step the system takes, and decides nothing. The
// store's ladder (FileStore.cpp: open, lock, read, change, replace whole or write in place or
// create, sweep) is written once over it; each platform's twin (FileSystemPosix.cpp,
// FileSystemWin32.cpp) makes each call of its own system calls, and a test may put a file system
// of its own behind it. Paths are UTF-8.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ByteLock.h"
#include "platform/Deadline.h"
#include "platform/SystemError.h"
#include "store/FileOutcome.h"

// Errors are the system's codes (errno, GetLastError()), 0 for none.

// An open file as the system numbers it (a descriptor, a handle).
using FileRef = std::intptr_t;
constexpr FileRef kNoFile = -1;

// What the ladder asks of an error, beyond the fault it stands for.
enum class ErrorKind {
    kOther,
    kMissing,         // no such file, or no folder on its way
    kExists,          // the name is taken
    kLeased,          // another program's lease, which the refused open has asked it to give back
    kHeldForAMoment,  // open in another program that shares it with nobody: a scanner, an indexer
    kDenied,          // refused to this user; for a move also while another program holds the file
    kReadOnlyDisk,    // the disk or share takes no writing
    kReplacementLeft, // the old file is gone, the new one still has its temporary name
};

struct ErrorMeaning {
    FileFault fault = FileFault::kOther;
    ErrorKind kind = ErrorKind::kOther;
    // A new copy cannot be made or take the name, though the file itself may still be written:
    // it is then written in place.
    bool givesWay = false;
};

class FileSystem {
public:
    enum class Access { kLook, kRead, kWrite, kReadWrite }; // kLook: its stamp only

    struct Info {
        FileStamp stamp;
        std::uint32_t links = 1;
        bool readOnly = false; // no write permission at all, or the read-only attribute
    };

    struct Opened {
        FileRef file = kNoFile;
        SystemErrorCode error = 0;
        const char* notRegular = nullptr; // "a directory", "a FIFO", ... when refused as such
        Info info;                        // of the file opened
    };

    struct Entry {
        std::string name;
        FileStamp stamp;
        bool regular = false; // a regular file, not a link to one
    };

    // An existing regular file. Anything else is refused, before it is opened where opening it
    // would wait or act (a FIFO, a port), and after, should one have been put in its place.
    // Shared as widely as the C run-time shares, for deletion too.
    virtual Opened Open(const std::string& path, Access access) = 0;
    // A new file for writing, where no file of that name is, held so that no sweep removes it
    // while it is written. `like`, when open, is the file whose owner, mode and attributes it takes
    // where the system lets this user give them.
    virtual Opened Create(const std::string& path, FileRef like) = 0;
    // For appending, made when missing; every write goes to the file's end at that moment.
    virtual Opened OpenToAppend(const std::string& path) = 0;
    virtual SystemErrorCode Close(FileRef file) = 0;

    virtual SystemErrorCode Describe(FileRef file, Info& info) = 0;
    virtual SystemErrorCode ReadAt(FileRef file, std::uint64_t offset, char* bytes,
                                   std::size_t size, std::size_t& read) = 0;
    // At `offset`, or at the end for kAtEnd; `written` may fall short.
    static constexpr std::uint64_t kAtEnd = ~std::uint64_t{0};
    virtual SystemErrorCode WriteAt(FileRef file, std::uint64_t offset, std::string_view bytes,
                                    std::size_t& written) = 0;
    virtual SystemErrorCode SetLength(FileRef file, std::uint64_t length) = 0;
    virtual SystemErrorCode Sync(FileRef file) = 0;
    // One try at once; kFailed leaves `error`.
    virtual ByteLockOutcome TryLockByte(FileRef file, std::uint64_t offset,
                                        SystemErrorCode& error) = 0;
    virtual void UnlockByte(FileRef file, std::uint64_t offset) = 0;
    // Whether a new file could take this one's place in one step, carrying all it has.
    virtual bool CanReplaceWhole(FileRef file) = 0;
    // The error a write of `size` bytes would meet at the file-size limit, before a byte goes.
    virtual SystemErrorCode RoomFor(std::uint64_t size) = 0;

    // `replacement` takes the name `target`, whose file goes; works while the target is open.
    // Each change of names is made as durable as the system lets a program make it.
    virtual SystemErrorCode ReplaceName(const std::string& replacement,
                                        const std::string& target) = 0;
    // `file` takes the name `target` where no file has it; its own name goes.
    virtual SystemErrorCode TakeNewName(const std::string& file, const std::string& target) = 0;
    virtual SystemErrorCode Remove(const std::string& path) = 0;
    // The file `name` leads to through any chain of symbolic links; it need not exist.
    virtual SystemErrorCode FollowLinks(const std::string& name, std::string& target) = 0;
    // The entries of `folder` ("" the working directory; else ends in its separator) whose names
    // begin with `prefix`.
    virtual std::vector<Entry> List(const std::string& folder, std::string_view prefix) = 0;
    // Removes the file unless it is still `entry`'s and some program holds it open or locked.
    virtual void RemoveUnlessHeld(const std::string& path, const Entry& entry) = 0;
    // The limit for TemporaryFileName beside the file at `path`.
    virtual std::size_t NameLimit(const std::string& path) = 0;
    // A number that differs between calls and between processes, for temporaries' names.
    virtual std::uint64_t Seed() = 0;

    virtual ErrorMeaning Meaning(SystemErrorCode error) const = 0;
    // The system's words for it.
    virtual std::string Text(SystemErrorCode error) const = 0;
    // The clock a save's waits are measured by.
    virtual const WaitClock& Clock() const = 0;

protected:
    ~FileSystem() = default;
};

// This system's files.
FileSystem& SystemFiles();
