#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "store/FileOutcome.h"

class FileSystem;
FileSystem& SystemFiles();

// Paths are UTF-8 on every platform; a bare name is in the working directory. Only regular files
// are read or written: a directory, a FIFO, a socket or a device (also behind a link) is refused
// at once, without waiting on it and without replacing it. Every call takes the file system it
// works on last: this system's, unless a test brings its own.

enum class ReadOutcome {
    kRead,    // bytes holds the file's first `limit` bytes
    kMissing, // there is no file of that name: "no such file", nothing else
    kFailed,  // it is there but cannot be read (permissions, not a regular file, an I/O error)
};

// failure names the cause when the outcome is not kRead (kMissing's text included); `stamp`, when
// given, is the file's as it was opened for the read. The room for the bytes grows as the file
// fills it, so a high limit costs a small file nothing.
ReadOutcome ReadFileContents(const char* path, std::size_t limit, std::string& bytes,
                             FileFailure& failure, FileStamp* stamp = nullptr,
                             FileSystem& files = SystemFiles());

// What an update makes of the file's contents (kRead, with the file's stamp as it holds them
// locked) or of its absence (kMissing): the new contents, or nothing, with failure saying why, to
// leave the file as it is.
using ContentChange = std::function<std::optional<std::string>(ReadOutcome, const std::string&,
                                                               const FileStamp&, FileFailure&)>;

// Reads the file's first `limit` bytes, hands them to `change` and writes what it returns, all
// under an exclusive lock of the file that every save takes, so that a change another program
// makes meanwhile waits instead of being lost. A file that cannot be read is not changed.
//
// The new contents replace the file in one step where the new file can carry everything the old
// one had (its owner and group, its only name, its ACL and other attributes, a folder that lets
// the saver create and rename, a name that is not a mount point, room for a second copy): they
// go to a temporary file beside it, reach the disk, and the temporary file then takes the name
// (on Windows through ReplaceFileW), so that a crash leaves either the old file or the new one.
// Where it cannot, and always under Wine, they are written in place: one write of the whole text
// that also blanks the rest of a longer old one as far as a reader takes it (kStoreReadLimit),
// then the file is cut to its length and synced, so that a crash leaves the old values or the
// new ones. A symbolic link is written through to the file it names, also one that names no file
// yet; a read-only file is refused. The outcome says how the file was written, or why nothing was
// changed (no temporary file is then left). The lock, a lease another program holds and a
// scanner's hold on the new file are waited for within the time `wait` gives; once the lock is
// taken, stop signals are held until the save ends. After a save, temporary files that no save
// under way can own any more are removed (kStaleTemporarySeconds).
SaveOutcome UpdateFileContents(const char* name, std::size_t limit, const ContentChange& change,
                               const LockWait& wait = {}, FileSystem& files = SystemFiles());

// Writes `bytes` as UpdateFileContents does, whatever the file held.
SaveOutcome ReplaceFileContents(const char* name, std::string_view bytes, const LockWait& wait = {},
                                FileSystem& files = SystemFiles());

// No reader of the store's files takes more of them than this (kParameterFileReadLimit):
// writing in place blanks the old text no further than this, whatever its length.
constexpr std::size_t kStoreReadLimit = std::size_t{1} << 20;

// The lock every save takes, and every line of a record: one byte this far into the file, beyond
// any content, since Windows enforces its locks on reads. Wine turns a LockFileEx into a record
// lock on the same byte of the Unix file, so the dialog under Wine and a native program exclude
// each other.
constexpr std::uint64_t kSaveLockOffset = std::uint64_t{1} << 62;
constexpr int kSaveLockPollMs = 10;
