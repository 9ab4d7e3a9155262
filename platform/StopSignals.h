#pragma once

// SIGINT, SIGTERM and SIGHUP (Ctrl-C, kill, a terminal closed) ask the program to stop at its
// next safe point rather than wherever it is: the handler only notes the signal and wakes a pipe,
// and every wait that may last (a port's poll, a prompt) watches that pipe. Nothing restarts an
// interrupted call. SIGPIPE is ignored, so a reader that went away is a write error.
#ifdef _WIN32
// A console program ends at Ctrl-C and the system closes its handles: a port is released with
// its handle, and a save changes the file in one call (a replacement or a single write), so
// nothing is caught.
inline bool CatchStopSignals() {
    return true;
}
inline int CaughtStopSignal() {
    return 0;
}
inline const char* StopSignalName(int) {
    return "a signal";
}
class HoldStopSignals {
public:
    HoldStopSignals() {}
};
#else
#include <csignal>

// False, with errno, when the pipe cannot be made.
bool CatchStopSignals();
// The first stop signal that arrived, or 0.
int CaughtStopSignal();
// Readable from the first stop signal on; -1 while they are not caught.
int StopSignalFd();
// "SIGINT", "SIGTERM", "SIGHUP".
const char* StopSignalName(int signal);

// Holds the stop signals back while it lives: a step that must end whole (a save, a record)
// runs under it, and a signal sent meanwhile is caught as it ends.
class HoldStopSignals {
public:
    HoldStopSignals();
    HoldStopSignals(const HoldStopSignals&) = delete;
    HoldStopSignals& operator=(const HoldStopSignals&) = delete;
    ~HoldStopSignals();

private:
    sigset_t previous_;
};
#endif
