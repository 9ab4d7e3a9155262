#include "platform/StopSignals.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "platform/Handles.h"

namespace {

// Signals sent to us that would end the program: stopped at the next safe point instead. The
// real-time signals join them at run time, SIGRTMIN not being a constant.
constexpr int kStopSignals[] = {
    SIGINT,    SIGTERM,   SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2,
    SIGALRM,   SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGXCPU,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};
// The program's own faults, after which nothing can go on.
constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP, SIGSYS};
// Their actions before ours (the default, or a sanitizer's report), taken again after a release.
struct sigaction g_previousFaultActions[std::size(kFaultSignals)];

volatile std::sig_atomic_t g_caught = 0;
volatile std::sig_atomic_t g_wakeFd = -1;
int g_wokenFd = -1;
std::atomic<void (*)()> g_release{nullptr};

template <class Visit> void ForEachStopSignal(Visit visit) {
    for (const int signal : kStopSignals) {
        visit(signal);
    }
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) {
        visit(signal);
    }
}

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

extern "C" void OnFault(int signal, siginfo_t* info, void*) {
    if (void (*release)() = g_release.load()) {
        release();
    }
    for (std::size_t i = 0; i < std::size(kFaultSignals); ++i) {
        if (kFaultSignals[i] == signal) {
            ::sigaction(signal, &g_previousFaultActions[i], nullptr);
        }
    }
    // A fault the processor raised comes again as its instruction runs again, now to the old
    // action, which then sees where it happened. One that was sent (kill, abort) or that does not
    // repeat (a trap, a refused system call) is sent again.
    const bool repeats = info->si_code > 0 && (signal == SIGSEGV || signal == SIGBUS ||
                                               signal == SIGILL || signal == SIGFPE);
    if (!repeats) {
        ::raise(signal);
    }
}

// A fault of a stack that overflowed (a runaway recursion) finds no room there for its release:
// the faults' handler runs on a stack of its own. One set already (a sanitizer's) is kept.
void GiveFaultsAStack() {
    alignas(16) static char stack[64 * 1024];
    stack_t current{};
    if (::sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) == 0) {
        return;
    }
    stack_t own{};
    own.ss_sp = stack;
    own.ss_size = sizeof stack;
    ::sigaltstack(&own, nullptr);
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
    ForEachStopSignal([&set](int signal) { sigaddset(&set, signal); });
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
        ForEachStopSignal([](int signal) { SetHandler(signal, OnStopSignal); });
        GiveFaultsAStack();
        for (std::size_t i = 0; i < std::size(kFaultSignals); ++i) {
            struct sigaction action {};
            action.sa_sigaction = OnFault;
            action.sa_flags = SA_SIGINFO | SA_ONSTACK;
            sigemptyset(&action.sa_mask);
            ::sigaction(kFaultSignals[i], &action, &g_previousFaultActions[i]);
        }
        SetHandler(SIGPIPE, SIG_IGN);
        SetHandler(SIGXFSZ, SIG_IGN);
    }
    WakePipe(const WakePipe&) = delete;
    WakePipe& operator=(const WakePipe&) = delete;
    ~WakePipe() {
        ForEachStopSignal([](int signal) { SetHandler(signal, SIG_DFL); });
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

std::string StopSignalName(int signal) {
    if (signal >= SIGRTMIN && signal <= SIGRTMAX) {
        return signal == SIGRTMIN ? "SIGRTMIN" : "SIGRTMIN+" + std::to_string(signal - SIGRTMIN);
    }
    const char* abbreviation = ::sigabbrev_np(signal);
    return abbreviation ? std::string("SIG") + abbreviation : "signal " + std::to_string(signal);
}

void ReleaseBeforeFaults(void (*release)()) {
    g_release.store(release);
}

HoldStopSignals::HoldStopSignals() {
    const sigset_t stop = StopSignalSet();
    ::pthread_sigmask(SIG_BLOCK, &stop, &previous_);
}

HoldStopSignals::~HoldStopSignals() {
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}
