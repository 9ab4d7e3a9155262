#pragma once

// Every signal that would end the program and can be caught asks it to stop at its next safe
// point rather than wherever it is (Ctrl-C, Ctrl-\, kill, a terminal closed, a timer, a CPU
// limit): the handler only notes the signal and wakes a pipe, and every wait that may last (a
// port's poll, a prompt) watches that pipe. Nothing restarts an interrupted call. A fault (a
// crash, abort) cannot be stopped at: the releases registered with ReleaseBeforeFaults run, and
// the fault then ends the program as it would have. SIGPIPE and SIGXFSZ are ignored, so a reader
// that went away or the file-size limit is a write error. SIGKILL and SIGSTOP cannot be caught.
#include <string>

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
inline std::string StopSignalName(int) {
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
// "SIGINT", "SIGQUIT", "SIGRTMIN+3", ...
std::string StopSignalName(int signal);

// release runs in the handler of a fault before the fault ends the program, so it may make only
// async-signal-safe calls. One release a process; setting it again replaces it.
void ReleaseBeforeFaults(void (*release)());

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
