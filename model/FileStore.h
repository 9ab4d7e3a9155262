#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "model/FileOutcome.h"

// Paths are UTF-8 on every platform; a bare name is in the working directory. Only regular files
// are read or written: a directory, a FIFO, a socket or a device (also behind a link) is refused
// at once, without waiting on it and without replacing it.

enum class ReadOutcome {
    kRead,    // bytes holds the file's first `limit` bytes
    kMissing, // there is no file of that name: "no such file", nothing else
    kFailed,  // it is there but cannot be read (permissions, not a regular file, an I/O error)
};

// failure names the cause when the outcome is not kRead (kMissing's text included). The room for
// the bytes grows from kFirstReadSize as the file fills it, so a high limit costs a small file
// nothing.
ReadOutcome ReadFileContents(const char* path, std::size_t limit, std::string& bytes,
                             FileFailure& failure);
constexpr std::size_t kFirstReadSize = 64 * 1024;

// What an update makes of the file's contents (kRead) or of its absence (kMissing): the new
// contents, or nothing, with failure saying why, to leave the file as it is.
using ContentChange =
    std::function<std::optional<std::string>(ReadOutcome, const std::string&, FileFailure&)>;

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
// changed (no temporary file is then left). The lock, and on Linux a lease another program holds,
// are waited for as `wait` says; once the lock is taken, stop signals are held until the save
// ends. After a save, temporary files that no save under way can own any more are removed
// (kStaleTemporarySeconds).
SaveOutcome UpdateFileContents(const char* name, std::size_t limit, const ContentChange& change,
                               const LockWait& wait = {});

// Writes `bytes` as UpdateFileContents does, whatever the file held.
SaveOutcome ReplaceFileContents(const char* name, std::string_view bytes,
                                const LockWait& wait = {});

// No reader of the store's files takes more of them than this (kParameterFileReadLimit):
// writing in place blanks the old text no further than this, whatever its length.
constexpr std::size_t kStoreReadLimit = std::size_t{1} << 20;

// The lock every save takes: one byte this far into the file, beyond any content, since Windows
// enforces its locks on reads. Wine turns a LockFileEx into a record lock on the same byte of the
// Unix file, so the dialog under Wine and a native program exclude each other.
constexpr std::uint64_t kSaveLockOffset = std::uint64_t{1} << 62;
constexpr int kSaveLockPollMs = 10;

// Temporaries are "<name>.vkd37-<8 hex digits>.tmp", the number drawn at random and the file
// created only where no file of that name exists. A process id would not do: a native process,
// one under Wine, one in a container or one on another PC sharing the folder may have the same
// id. The form is fixed to the letter, so that no file of the user's is taken for one. Where that
// would pass the file system's limit on a name (`nameMax` bytes), <name> is cut to fit, at the
// end of a whole UTF-8 character.
inline constexpr std::string_view kTemporaryMarker = ".vkd37-";
inline constexpr std::string_view kTemporarySuffix = ".tmp";
inline constexpr std::size_t kTemporaryDigits = 8;
inline constexpr std::size_t kNoNameLimit = static_cast<std::size_t>(-1);

// The part of the file's name `name` its temporaries' names begin with.
inline std::string_view TemporaryNameStem(std::string_view name, std::size_t nameMax) {
    const std::size_t added = kTemporaryMarker.size() + kTemporaryDigits + kTemporarySuffix.size();
    if (nameMax == kNoNameLimit || name.size() + added <= nameMax) {
        return name;
    }
    std::size_t length = nameMax > added ? nameMax - added : 0;
    while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) {
        --length; // name[length] continues the character before it
    }
    return name.substr(0, length);
}

// The temporary numbered `number` of the file at `path`.
inline std::string TemporaryFileName(std::string_view path, std::uint32_t number,
                                     std::size_t nameMax = kNoNameLimit);

// The number of the temporary file `fileName` of the file named `name`, or nothing for any other
// name.
inline std::optional<std::uint32_t> TemporaryFileNumber(std::string_view fileName,
                                                        std::string_view name,
                                                        std::size_t nameMax = kNoNameLimit) {
    const std::string_view stem = TemporaryNameStem(name, nameMax);
    if (fileName.size() !=
            stem.size() + kTemporaryMarker.size() + kTemporaryDigits + kTemporarySuffix.size() ||
        fileName.substr(0, stem.size()) != stem ||
        fileName.substr(stem.size(), kTemporaryMarker.size()) != kTemporaryMarker ||
        fileName.substr(fileName.size() - kTemporarySuffix.size()) != kTemporarySuffix) {
        return std::nullopt;
    }
    std::uint32_t number = 0;
    for (const char digit :
         fileName.substr(stem.size() + kTemporaryMarker.size(), kTemporaryDigits)) {
        const bool decimal = digit >= '0' && digit <= '9';
        if (!decimal && !(digit >= 'a' && digit <= 'f')) {
            return std::nullopt;
        }
        number = number << 4 | static_cast<std::uint32_t>(decimal ? digit - '0' : digit - 'a' + 10);
    }
    return number;
}

// A save takes milliseconds, but whose process it is cannot be told across pid namespaces, Wine
// and network shares; a temporary file older than this (by the file system's clock) is left
// over from a save that was cut short. One still held open, where the system can tell, is kept.
constexpr long long kStaleTemporarySeconds = 60 * 60;

// Where the file `path` lives, with its separator ("" for the working directory), and its name.
inline std::pair<std::string_view, std::string_view> SplitDirectory(std::string_view path) {
#ifdef _WIN32
    const std::size_t separator = path.find_last_of("\\/:");
#else
    const std::size_t separator = path.find_last_of('/');
#endif
    const std::size_t nameStart = separator == std::string_view::npos ? 0 : separator + 1;
    return {path.substr(0, nameStart), path.substr(nameStart)};
}

inline std::string TemporaryFileName(std::string_view path, std::uint32_t number,
                                     std::size_t nameMax) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string hex(kTemporaryDigits, '0');
    for (int place = 7; place >= 0; --place, number >>= 4) {
        hex[static_cast<std::size_t>(place)] = kDigits[number & 0xF];
    }
    const auto [directory, name] = SplitDirectory(path);
    return std::string(directory) + std::string(TemporaryNameStem(name, nameMax)) +
           std::string(kTemporaryMarker) + hex + std::string(kTemporarySuffix);
}

// Where names are counted in UTF-16 units and the whole path is limited too (Windows: 259 units
// and 255 for a name on the calls XP has), the limit for TemporaryFileName that keeps the
// temporaries of the file at `path` within both; kNoNameLimit when they fit as they are.
inline std::size_t NameLimitForUtf16Limits(std::string_view path, std::size_t pathMax,
                                           std::size_t nameMax) {
    const auto isLead = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; };
    const auto units = [](char lead) { return static_cast<unsigned char>(lead) >= 0xF0 ? 2u : 1u; };
    const std::size_t added = kTemporaryMarker.size() + kTemporaryDigits + kTemporarySuffix.size();
    const auto [directory, name] = SplitDirectory(path);
    std::size_t directoryUnits = 0;
    for (const char c : directory) {
        directoryUnits += isLead(c) ? units(c) : 0;
    }
    const std::size_t room =
        directoryUnits + added >= pathMax ? 0 : pathMax - directoryUnits - added;
    const std::size_t stemUnits = std::min(room, nameMax > added ? nameMax - added : 0);
    std::size_t used = 0;
    std::size_t bytes = 0;
    for (std::size_t at = 0; at < name.size(); ++at) {
        if (!isLead(name[at])) {
            continue;
        }
        if (used + units(name[at]) > stemUnits) {
            return bytes + added;
        }
        used += units(name[at]);
        bytes = at + 1;
        while (bytes < name.size() && !isLead(name[bytes])) {
            ++bytes;
        }
    }
    return kNoNameLimit;
}

// The cause that refuses a file of the kind named ("a FIFO", "a directory").
inline std::string NotARegularFile(const char* kind) {
    return std::string("it is ") + kind + ", not a regular file";
}

// The cause when another program's save has held the lock for all of the wait.
inline constexpr char kHeldByAnotherProgram[] = "another program holds the file";
