#pragma once

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
// or the new one: the bytes go to a temporary file in the same directory, reach the disk, and
// the temporary file then takes the name. Returns false, with error naming the cause, nothing
// changed on disk and no temporary file left, when any step fails. After a successful
// replacement, temporary files that saves of processes no longer running left behind (a crash,
// a power cut) are removed.
bool ReplaceFileContents(const char* name, std::string_view bytes, std::string& error);

// The temporary file of the save process `processId`: "<name>.<processId>.tmp". One process
// saves one file at a time, so the name is its own.
inline std::string TemporaryFileName(std::string_view name, unsigned long processId) {
    return std::string(name) + "." + std::to_string(processId) + ".tmp";
}

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

// The process whose temporary file `fileName` is for `name`, or nothing for any other name.
inline std::optional<unsigned long> TemporaryFileOwner(std::string_view fileName,
                                                       std::string_view name) {
    constexpr std::string_view kSuffix = ".tmp";
    if (fileName.size() <= name.size() + 1 + kSuffix.size() ||
        fileName.substr(0, name.size()) != name || fileName[name.size()] != '.' ||
        fileName.substr(fileName.size() - kSuffix.size()) != kSuffix) {
        return std::nullopt;
    }
    const std::string_view digits =
        fileName.substr(name.size() + 1, fileName.size() - name.size() - 1 - kSuffix.size());
    if (digits.size() > 10) {
        return std::nullopt;
    }
    unsigned long long processId = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        processId = processId * 10 + static_cast<unsigned>(c - '0');
    }
    if (processId > 0xFFFFFFFFull) {
        return std::nullopt;
    }
    return static_cast<unsigned long>(processId);
}
