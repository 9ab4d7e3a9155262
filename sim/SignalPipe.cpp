#include "sim/SignalPipe.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>

namespace {

volatile std::sig_atomic_t g_writeFd = -1;

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void OnStopSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe already holds a wake-up, so a failed write loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(g_writeFd, &byte, 1);
    errno = savedErrno;
}

void SetHandler(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
}

} // namespace

SignalPipe::SignalPipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    read_ = UniqueFd(ends[0]);
    write_ = UniqueFd(ends[1]);
    g_writeFd = write_.get();
    for (const int signal : kStopSignals) {
        SetHandler(signal, OnStopSignal);
    }
    SetHandler(SIGPIPE, SIG_IGN);
}

SignalPipe::~SignalPipe() {
    for (const int signal : kStopSignals) {
        SetHandler(signal, SIG_DFL);
    }
    g_writeFd = -1;
}
