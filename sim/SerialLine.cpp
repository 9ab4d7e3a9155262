#include "sim/SerialLine.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace {

std::string Failure(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Like cfmakeraw, spelled out so every flag the line needs is visible here.
bool MakeRaw(int fd) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        return false;
    }
    settings.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                               ICRNL | IXON | IXOFF | IXANY);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    // A pseudo-terminal ignores the rate; a real adapter needs it.
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

bool MakeNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

} // namespace

SerialLine SerialLine::CreatePseudoTerminal(std::string& error) {
    SerialLine line;
    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master.IsValid()) {
        error = Failure("cannot create a pseudo-terminal");
        return line;
    }
    if (::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0) {
        error = Failure("cannot unlock the pseudo-terminal");
        return line;
    }
    char name[128];
    if (::ptsname_r(master.get(), name, sizeof name) != 0) {
        error = Failure("cannot name the pseudo-terminal");
        return line;
    }
    UniqueFd slave(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave.IsValid()) {
        error = Failure(std::string("cannot open ") + name);
        return line;
    }
    if (!MakeRaw(slave.get()) || !MakeRaw(master.get()) || !MakeNonBlocking(master.get())) {
        error = Failure("cannot configure the pseudo-terminal");
        return line;
    }
    line.io_ = std::move(master);
    line.slave_ = std::move(slave);
    line.path_ = name;
    return line;
}

SerialLine SerialLine::OpenDevice(const std::string& path, std::string& error) {
    SerialLine line;
    UniqueFd device(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!device.IsValid()) {
        error = Failure("cannot open " + path);
        return line;
    }
    if (!::isatty(device.get())) {
        error = path + " is not a serial device";
        return line;
    }
    if (!MakeRaw(device.get())) {
        error = Failure("cannot configure " + path);
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
