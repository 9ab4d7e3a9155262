#include "platform/StopSignals.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "platform/Handles.h"

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t g_caught = 0;
volatile std::sig_atomic_t g_wakeFd = -1;
int g_wokenFd = -1;

extern "C" void OnStopSignal(int signal) {
    const int savedErrno = errno;
    if (g_caught == 0) {
        g_caught = signal;
    }
    const char byte = 1;
    // A full pipe already holds a wake-up, so a failed write loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(g_wakeFd, &byte, 1);
    errno = savedErrno;
}

void SetHandler(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
}

sigset_t StopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kStopSignals) {
        sigaddset(&set, signal);
    }
    return set;
}

// The pipe lives as long as the process; the default actions come back before it closes.
class WakePipe {
public:
    WakePipe() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
            return;
        }
        read_ = UniqueFd(ends[0]);
        write_ = UniqueFd(ends[1]);
        g_wakeFd = write_.get();
        g_wokenFd = read_.get();
        for (const int signal : kStopSignals) {
            SetHandler(signal, OnStopSignal);
        }
        SetHandler(SIGPIPE, SIG_IGN);
        SetHandler(SIGXFSZ, SIG_IGN);
    }
    WakePipe(const WakePipe&) = delete;
    WakePipe& operator=(const WakePipe&) = delete;
    ~WakePipe() {
        for (const int signal : kStopSignals) {
            SetHandler(signal, SIG_DFL);
        }
        g_wakeFd = -1;
        g_wokenFd = -1;
    }

    bool IsValid() const { return read_.IsValid(); }

private:
    UniqueFd read_;
    UniqueFd write_;
};

} // namespace

bool CatchStopSignals() {
    static const WakePipe pipe;
    return pipe.IsValid();
}

int CaughtStopSignal() {
    return g_caught;
}

int StopSignalFd() {
    return g_wokenFd;
}

const char* StopSignalName(int signal) {
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "a signal";
    }
}

HoldStopSignals::HoldStopSignals() {
    const sigset_t stop = StopSignalSet();
    ::pthread_sigmask(SIG_BLOCK, &stop, &previous_);
}

HoldStopSignals::~HoldStopSignals() {
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}
