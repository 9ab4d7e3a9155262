#pragma once

#include <stdexcept>
#include <string>

// Exit statuses a script can rely on, with the words --help and the man page give them.
enum ExitStatus : int {
    kExitDone = 0,
    kExitUploadFailed = 1,
    kExitUsage = 2,
    kExitPortUnavailable = 3,
    kExitNotSaved = 4,
};

struct ExitStatusMeaning {
    ExitStatus status;
    const char* meaning;
};

inline constexpr ExitStatusMeaning kExitStatusMeanings[] = {
    {kExitDone, "done (upload: every frame echoed exactly)"},
    {kExitUploadFailed, "an upload failed: no echo, a short or a different echo, or the line lost"},
    {kExitUsage, "a usage, value or file error; nothing was sent"},
    {kExitPortUnavailable, "the port could not be opened: missing, busy, or not a serial port"},
    {kExitNotSaved, "every upload was confirmed, but --save could not write the file"},
};

// An error that ends a command: the one line naming its cause, and the status to exit with.
class CommandError : public std::runtime_error {
public:
    CommandError(ExitStatus status, const std::string& message)
        : std::runtime_error(message), status_(status) {}
    ExitStatus Status() const { return status_; }

private:
    ExitStatus status_;
};
