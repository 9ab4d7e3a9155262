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
    // 128 and the signal's number, as a shell gives a program the signal ended.
    kExitHungUp = 129,
    kExitInterrupted = 130,
    kExitQuit = 131,
    kExitTerminated = 143,
};

struct ExitStatusMeaning {
    ExitStatus status;
    const char* meaning;
};

inline constexpr ExitStatusMeaning kExitStatusMeanings[] = {
    {kExitDone, "done (upload: every frame echoed exactly)"},
    {kExitUploadFailed, "an upload failed: no echo, a short or a different echo, or the line "
                        "lost; diff: the values differ; report --verify: a chain is broken or the "
                        "head differs"},
    {kExitUsage, "a usage, value, file or output error; nothing was sent"},
    {kExitPortUnavailable, "the port could not be opened: missing, busy, not a serial port, or the "
                           "terminal the program runs in"},
    {kExitNotSaved, "every upload was confirmed, but the file (--save) or the record (--log) "
                    "could not be written"},
#ifndef _WIN32
    {kExitHungUp, "stopped by SIGHUP (the terminal closed)"},
    {kExitInterrupted, "stopped by Ctrl-C (SIGINT)"},
    {kExitQuit, "stopped by Ctrl-\\ (SIGQUIT)"},
    {kExitTerminated, "stopped by SIGTERM"},
#endif
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
