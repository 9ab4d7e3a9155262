#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "store/FileOutcome.h"
#include "platform/Handles.h"

// The commissioning record's file, kept open for appending. Each line goes to the end of the
// file in one write, under the lock of a byte far beyond it, so that two batches appending to
// one record at once never tear or lose each other's lines: O_APPEND, or FILE_APPEND_DATA on
// Windows, where the C run-time's append mode seeks and then writes, so a line another program
// writes in between is overwritten. The lock covers what appending alone does not: Wine, whose
// append-only writes overwrite each other too, and network file systems.
class RecordFile {
public:
    RecordFile() = default;

    // Why the file cannot be opened (created when missing); nothing when it was.
    std::optional<std::string> Open(const std::string& path);
    bool IsOpen() const { return file_.IsValid(); }
    // Why the line did not reach the file whole; nothing when it did. The line waits for another
    // program's as `wait` says (its limit, what ends it sooner); then it goes unlocked rather
    // than not at all.
    std::optional<std::string> Append(std::string_view line, const LockWait& wait);
    // Some file systems tell of a lost write only as the file is closed.
    std::optional<std::string> Close();

private:
    // The twins' one write, whose rest follows when the disk or a limit stops it part way: a
    // line is at worst cut, never lost in the middle of its neighbours.
    std::optional<std::string> WriteWhole(std::string_view line);

#ifdef _WIN32
    FileHandle file_;
#else
    UniqueFd file_;
#endif
};
