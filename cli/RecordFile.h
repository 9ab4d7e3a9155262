#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Handles.h"

// The commissioning record's file, kept open for appending. Each line goes to the end of the
// file in one write, so that two batches appending to one record at once never tear or lose
// each other's lines (O_APPEND; FILE_APPEND_DATA on Windows, where the C run-time's append
// mode seeks and then writes, and a line written meanwhile by another program is overwritten).
class RecordFile {
public:
    RecordFile() = default;

    // Why the file cannot be opened (created when missing); nothing when it was.
    std::optional<std::string> Open(const std::string& path);
    bool IsOpen() const { return file_.IsValid(); }
    // Why the line did not reach the file whole; nothing when it did.
    std::optional<std::string> Append(std::string_view line);
    // Some file systems tell of a lost write only as the file is closed.
    std::optional<std::string> Close();

private:
#ifdef _WIN32
    FileHandle file_;
#else
    UniqueFd file_;
#endif
};
