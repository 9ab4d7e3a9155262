#include "sim/SerialLine.h"

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>

#include "platform/SystemError.h"

namespace {

bool MakeNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

} // namespace

// Both ends raw; the master is non-blocking.
SerialLine SerialLine::CreatePseudoTerminal(std::string& error) {
    SerialLine line;
    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master.IsValid()) {
        error = "cannot create a pseudo-terminal: " + SystemErrorText(errno);
        return line;
    }
    if (::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0) {
        error = "cannot unlock the pseudo-terminal: " + SystemErrorText(errno);
        return line;
    }
    char name[128];
    if (::ptsname_r(master.get(), name, sizeof name) != 0) {
        error = "cannot name the pseudo-terminal: " + SystemErrorText(errno);
        return line;
    }
    UniqueFd slave(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave.IsValid()) {
        error = std::string("cannot open ") + name + ": " + SystemErrorText(errno);
        return line;
    }
    termios settings{};
    for (const int end : {slave.get(), master.get()}) {
        if (const std::optional<PortFailure> failed =
                ConfigurePort(end, settings, SettingsCheck::kStrict)) {
            error = failed->text;
            return line;
        }
    }
    if (!MakeNonBlocking(master.get())) {
        error = "cannot configure the pseudo-terminal: " + SystemErrorText(errno);
        return line;
    }
    line.io_ = PortHandle(master.Release());
    line.slave_ = std::move(slave);
    line.path_ = name;
    return line;
}

SerialLine SerialLine::OpenDevice(const std::string& path, std::string& error) {
    SerialLine line;
    PortHandle device;
    if (const std::optional<PortFailure> failed = OpenSerialDevice(path, device)) {
        error = failed->text;
        return line;
    }
    ::tcflush(device.get(), TCIOFLUSH);
    line.io_ = std::move(device);
    line.path_ = path;
    return line;
}

std::size_t SerialLine::UndeliveredBytes() const {
    int count = 0;
    const bool known = IsPseudoTerminal() ? ::ioctl(slave_.get(), TIOCINQ, &count) == 0
                                          : ::ioctl(io_.get(), TIOCOUTQ, &count) == 0;
    return known && count > 0 ? static_cast<std::size_t>(count) : 0;
}
