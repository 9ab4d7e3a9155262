#pragma once

#include <charconv>
#include <cstddef>
#include <optional>
#include <utility>
#include <string>
#include <string_view>

// Paths are UTF-8 on every platform; a bare name is in the working directory.

enum class ReadOutcome {
    kRead,    // bytes holds the file's first `limit` bytes
    kMissing, // there is no file of that name: "no such file", nothing else
    kFailed,  // it is there but cannot be read (permissions, a directory, an I/O error)
};

// error names the cause in the system's words when the outcome is not kRead.
ReadOutcome ReadFileContents(const char* path, std::size_t limit, std::string& bytes,
                             std::string& error);

// Replaces the file `name` with `bytes` so that a crash at any point leaves either the old file
// or the new one: the bytes go to a temporary file beside the file, reach the disk, and the
// temporary file then takes the name. A symbolic link is written through to the file it names;
// the file keeps its permissions (owner and group where the process may set them) or its
// attributes, and a read-only file is refused. Returns false, with error naming the cause,
// nothing changed on disk and no temporary file left, when any step fails. After a successful
// replacement, temporary files that no save under way can own any more are removed (see
// kStaleTemporarySeconds).
bool ReplaceFileContents(const char* name, std::string_view bytes, std::string& error);

// Temporaries are "<name>.<number>.tmp", the number drawn at random and the file created only
// where no file of that name exists. A process id would not do: a native process, one under
// Wine, one in a container or one on another PC sharing the folder may have the same id.
inline std::string TemporaryFileName(std::string_view name, unsigned long number) {
    return std::string(name) + "." + std::to_string(number) + ".tmp";
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

// The number of the temporary file `fileName` of `name`, or nothing for any other name.
inline std::optional<unsigned long> TemporaryFileNumber(std::string_view fileName,
                                                        std::string_view name) {
    constexpr std::string_view kSuffix = ".tmp";
    if (fileName.size() <= name.size() + 1 + kSuffix.size() ||
        fileName.substr(0, name.size()) != name || fileName[name.size()] != '.' ||
        fileName.substr(fileName.size() - kSuffix.size()) != kSuffix) {
        return std::nullopt;
    }
    const std::string_view digits =
        fileName.substr(name.size() + 1, fileName.size() - name.size() - 1 - kSuffix.size());
    const char* const end = digits.data() + digits.size();
    unsigned long long number = 0;
    const std::from_chars_result read = std::from_chars(digits.data(), end, number);
    if (read.ec != std::errc() || read.ptr != end || number > 0xFFFFFFFFull) {
        return std::nullopt;
    }
    return static_cast<unsigned long>(number);
}
