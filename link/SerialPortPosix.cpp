#include "link/SerialPort.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "link/LineWaits.h"
#include "platform/StopSignals.h"
#include "platform/SystemError.h"

namespace {

// poll that retries on EINTR with what is left of the time, as `left()` tells it; the events
// seen, 0 on time-out, -1 on failure. A stop signal ends the wait as a failure would: the caller
// asks CaughtStopSignal whether the exchange was cut short or the line failed.
template <class TimeLeft> int WaitFor(int fd, short events, const TimeLeft& left) {
    for (;;) {
        pollfd watched[2] = {{fd, events, 0}, {StopSignalFd(), POLLIN, 0}};
        const int ready = ::poll(watched, 2, static_cast<int>(left().count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0 || watched[1].revents != 0) {
            return -1;
        }
        return ready == 0 ? 0 : watched[0].revents;
    }
}

constexpr short kLineGone = POLLERR | POLLHUP | POLLNVAL;

// The bounded write loop: each attempt may take as long as a write of the rest may take. A line
// that moves nothing too often is stuck (write failed); one that reports an error has gone.
EchoOutcome WriteFrame(int fd, const UploadFrame& frame) {
    std::size_t sent = 0;
    int emptyWrites = 0;
    while (sent < frame.size()) {
        const std::size_t rest = frame.size() - sent;
        const Deadline attempt = WriteBound(rest);
        const int events = WaitFor(fd, POLLOUT, [&attempt] { return attempt.Remaining(); });
        if (events < 0 || (events & kLineGone)) {
            return EchoOutcome::kLineLost;
        }
        ssize_t written = 0;
        if (events & POLLOUT) {
            written = ::write(fd, frame.data() + sent, rest);
            if (written < 0 && !IsTransient(errno)) {
                return EchoOutcome::kLineLost;
            }
        }
        emptyWrites = written > 0 ? 0 : emptyWrites + 1;
        if (emptyWrites == LineTiming::kMaxEmptyWrites) {
            return EchoOutcome::kWriteFailed;
        }
        sent += static_cast<std::size_t>(std::max<ssize_t>(written, 0));
    }
    return EchoOutcome::kConfirmed;
}

// One read of 19 bytes with the Windows semantics: it ends at the total time-out, when more than
// the interval passes between two bytes, or when all bytes are in. Extra bytes stay queued.
// The bytes read; nothing when the line went away.
std::optional<std::size_t> ReadEcho(int fd, UploadFrame& echo) {
    std::size_t received = 0;
    EchoReadBounds bounds(echo.size());
    while (received < echo.size()) {
        const int events = WaitFor(fd, POLLIN, [&bounds] { return bounds.Remaining(); });
        if (events == 0) {
            break;
        }
        if (events < 0 || !(events & POLLIN)) {
            return std::nullopt;
        }
        const ssize_t count = ::read(fd, echo.data() + received, echo.size() - received);
        if (count < 0 && IsTransient(errno)) {
            continue;
        }
        if (count <= 0) {
            return std::nullopt;
        }
        received += static_cast<std::size_t>(count);
        bounds.ByteArrived();
    }
    return received;
}

// The ports held with settings to give back, for the handler of a fault: a slot's settings are
// filled before its descriptor is, and the descriptor is taken out before the port is closed.
// The tool and the simulator hold one port at a time.
struct HeldPort {
    std::atomic<int> fd{-1};
    termios found{};
};
HeldPort g_heldPorts[4];

// Runs in a signal handler: async-signal-safe calls only.
void ReleaseHeldPorts() {
    for (HeldPort& held : g_heldPorts) {
        const int fd = held.fd.load();
        if (fd >= 0) {
            ::tcsetattr(fd, TCSANOW, &held.found);
            ::ioctl(fd, TIOCNXCL);
        }
    }
}

void Hold(int fd, const termios& found) {
    ReleaseBeforeFaults(ReleaseHeldPorts);
    for (HeldPort& held : g_heldPorts) {
        if (held.fd.load() < 0) {
            held.found = found;
            held.fd.store(fd);
            return;
        }
    }
}

void LetGo(int fd) {
    for (HeldPort& held : g_heldPorts) {
        if (held.fd.load() == fd) {
            held.fd.store(-1);
        }
    }
}

// The terminal this process runs in: its controlling terminal, by whatever name (/dev/tty
// included), or the one its standard input, output or error is on.
bool IsOwnTerminal(int fd) {
    const pid_t session = ::tcgetsid(fd);
    if (session != -1 && session == ::getsid(0)) {
        return true;
    }
    struct stat port {};
    if (::fstat(fd, &port) != 0) {
        return false;
    }
    for (int standard = STDIN_FILENO; standard <= STDERR_FILENO; ++standard) {
        struct stat other {};
        if (::fstat(standard, &other) == 0 && S_ISCHR(other.st_mode) &&
            other.st_rdev == port.st_rdev) {
            return true;
        }
    }
    return false;
}

EchoResult ExchangeOnce(int fd, const UploadFrame& frame) {
    // Whatever arrived before this frame (a late or extra echo) must not count as its answer.
    ::tcflush(fd, TCIOFLUSH);
    const EchoOutcome written = WriteFrame(fd, frame);
    if (written != EchoOutcome::kConfirmed) {
        return {written, 0};
    }
    UploadFrame echo{};
    const std::optional<std::size_t> received = ReadEcho(fd, echo);
    if (!received) {
        return {EchoOutcome::kLineLost, 0};
    }
    return JudgeEcho(frame, echo.data(), *received);
}

} // namespace

PortHandle::PortHandle(PortHandle&& other) noexcept
    : fd_(std::move(other.fd_)), found_(std::exchange(other.found_, std::nullopt)) {}

PortHandle& PortHandle::operator=(PortHandle&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::move(other.fd_);
        found_ = std::exchange(other.found_, std::nullopt);
    }
    return *this;
}

void PortHandle::RestoreOnClose(const termios& found) {
    found_ = found;
    Hold(fd_.get(), found);
}

bool PortHandle::Close() {
    if (!IsValid()) {
        return true;
    }
    LetGo(fd_.get());
    if (found_) {
        ::tcsetattr(fd_.get(), TCSANOW, &*found_);
        found_.reset();
    }
    ::ioctl(fd_.get(), TIOCNXCL);
    return fd_.Close();
}

void ApplyControllerLine(termios& settings) {
    settings.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                               ICRNL | IXON | IXOFF | IXANY | INPCK);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    // CRTSCTS is left as it is: handshaking stays as the port reports it, as on Windows.
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    // A pseudo-terminal ignores the rate; a real adapter needs it. B9600 is always a valid rate.
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
}

std::optional<PortFailure> ConfigurePort(int fd, termios& settings, SettingsCheck check) {
    if (::tcgetattr(fd, &settings) != 0) {
        return MakeFailure(PortFault::kNotSerial, "read", "the line settings",
                           SystemErrorText(errno));
    }
    ApplyControllerLine(settings);
    if (::tcsetattr(fd, TCSANOW, &settings) != 0 && check == SettingsCheck::kStrict) {
        return MakeFailure(PortFault::kNotSerial, "set", "the line settings",
                           SystemErrorText(errno));
    }
    return std::nullopt;
}

EchoResult ExchangeFrame(int fd, const UploadFrame& frame) {
    const EchoResult result = ExchangeOnce(fd, frame);
    if (result.outcome != EchoOutcome::kConfirmed) {
        // Bytes held back by flow control would make the close wait for the tty's closing time
        // (up to 30 s) before the caller could report or try again.
        ::tcflush(fd, TCOFLUSH);
    }
    return result;
}

std::optional<std::size_t> QueuedInput(int fd) {
    int count = 0;
    if (::ioctl(fd, TIOCINQ, &count) != 0 || count < 0) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(count);
}

bool LineIsAlive(int fd) {
    pollfd watched{fd, 0, 0};
    if (::poll(&watched, 1, 0) < 0 || (watched.revents & kLineGone)) {
        return false;
    }
    termios settings{};
    return ::tcgetattr(fd, &settings) == 0 || errno != EIO;
}

namespace {

// How a refused open() or flock() is told: another program's hold, no device, a directory, or
// the system's words.
PortFailure RefusalOf(int error, const std::string& path) {
    const bool busy = error == EBUSY || error == EWOULDBLOCK;
    const bool missing = error == ENOENT || error == ENXIO || error == ENODEV;
    return PortOpenFailure(busy              ? PortFault::kBusy
                           : missing         ? PortFault::kMissing
                           : error == EISDIR ? PortFault::kNotSerial
                                             : PortFault::kOther,
                           path, SystemErrorText(error));
}

} // namespace

std::optional<PortFailure> OpenSerialDevice(const std::string& path, PortHandle& port) {
    UniqueFd opened(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!opened.IsValid()) {
        return RefusalOf(errno, path);
    }
    if (!::isatty(opened.get())) {
        return PortOpenFailure(PortFault::kNotSerial, path);
    }
    if (IsOwnTerminal(opened.get())) {
        return PortOpenFailure(PortFault::kOwnTerminal, path);
    }
    // The lock is what cooperating tools check, since TIOCEXCL does not stop root.
    if (::flock(opened.get(), LOCK_EX | LOCK_NB) != 0) {
        return RefusalOf(errno, path);
    }
    // Root passes another program's TIOCEXCL, but must not take its port, nor clear its flag as
    // the port is closed.
    int heldExclusively = 0;
    if (::ioctl(opened.get(), TIOCGEXCL, &heldExclusively) == 0 && heldExclusively != 0) {
        return PortOpenFailure(PortFault::kBusy, path);
    }
    termios found{};
    if (::tcgetattr(opened.get(), &found) != 0) {
        return PortOpenFailure(PortFault::kNotSerial, path,
                               CannotText("read", "the line settings", SystemErrorText(errno)));
    }
    // From here on every way out clears TIOCEXCL and puts the settings back.
    PortHandle device(opened.Release());
    device.RestoreOnClose(found);
    if (::ioctl(device.get(), TIOCEXCL) != 0) {
        return PortOpenFailure(PortFault::kNotSerial, path,
                               "TIOCEXCL refused: " + SystemErrorText(errno));
    }
    termios settings{};
    if (const std::optional<PortFailure> failure =
            ConfigurePort(device.get(), settings, SettingsCheck::kStrict)) {
        return PortOpenFailure(PortFault::kNotSerial, path, failure->text);
    }
    port = std::move(device);
    return std::nullopt;
}
