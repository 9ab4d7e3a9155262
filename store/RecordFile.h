#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "store/FileSteps.h"

// The commissioning record's file, kept open for appending. Each line goes to the end of the
// file in one write, under the lock every save takes, so that two batches appending to one
// record at once never tear or lose each other's lines: O_APPEND, or FILE_APPEND_DATA on
// Windows, where the C run-time's append mode seeks and then writes, so a line another program
// writes in between is overwritten. The lock covers what appending alone does not: Wine, whose
// append-only writes overwrite each other too, and network file systems.
class RecordFile {
public:
    explicit RecordFile(FileSystem& files = SystemFiles()) : files_(&files), file_(files) {}

    // Why the file cannot be opened (made when missing): also a directory, a FIFO, a socket or a
    // device, and a file this user may append to but not read (each line links to the last one),
    // refused before anything is written to it; nothing when it was opened.
    std::optional<FileFailure> Open(const std::string& path);
    bool IsOpen() const { return static_cast<bool>(file_); }
    // Whether `path` leads to the file open here, by the system's identity of files: another
    // name of it, a hard or symbolic link, included.
    bool Is(const std::string& path);
    // The file's first bytes, at most `size`, for what it holds.
    std::string Start(std::size_t size);

    // How a line went: the wait for the lock, and why the line did not reach the file whole.
    struct Appended {
        LockEnd lock = LockEnd::kTaken;
        std::optional<FileFailure> failure;
    };
    // The line waits for another program's as `wait` says (its limit, what ends it sooner). It
    // is written whatever ends the wait: a line written unlocked may, on Wine or a network file
    // system, meet another batch's, but a line not written loses an attempt that was made. It is
    // one whole line or nothing: a record whose last line was cut is ended first; a line past the
    // file-size limit is not begun; one the disk cuts part way is taken back (ended where another
    // program may be writing too, or the system cannot shorten the file).
    Appended Append(std::string_view line, const LockWait& wait);
    // The same for a line that depends on the record's last one (the chain's link): lineAfter
    // is given, under the lock, the record's last line as its readers take lines (the last that
    // is not blank, or longer than they hold), without its line end: empty where there is none;
    // nothing where it is longer than `longestLine`, the readers' limit, or could not be read,
    // or `keepReading`, asked between reads, said to stop. It returns the line to append; `line`
    // tells what it returned. The record is read from its end, as far back as that line starts.
    struct LastLineRead {
        std::size_t longestLine = 0;
        std::function<bool()> keepReading;
    };
    using LineAfter = std::function<std::string(std::optional<std::string_view> lastLine)>;
    struct AppendedAfter : Appended {
        std::string line;
    };
    AppendedAfter AppendAfter(const LineAfter& lineAfter, const LockWait& wait,
                              const LastLineRead& last);
    // Some file systems tell of a lost write only as the file is closed.
    std::optional<FileFailure> Close();

private:
    bool EndsInALineEnd(std::uint64_t size);
    std::optional<std::string> LastLine(const LastLineRead& last);
    SystemErrorCode WriteLine(std::string_view line, bool locked);

    FileSystem* files_;
    std::string path_;
    OwnedFile file_;
};
