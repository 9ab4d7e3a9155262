#include "sim/SerialLine.h"

#include <utility>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>

#include "link/SerialPort.h"

SerialLine SerialLine::CreatePseudoTerminal(std::string& error) {
    SerialLine line;
    PseudoTerminal terminal;
    if (::CreatePseudoTerminal(terminal, error)) {
        line.io_ = std::move(terminal.master);
        line.slave_ = std::move(terminal.slave);
        line.path_ = std::move(terminal.slavePath);
    }
    return line;
}

SerialLine SerialLine::OpenDevice(const std::string& path, std::string& error) {
    SerialLine line;
    OpenFailure failure = OpenFailure::kNone;
    UniqueFd device = OpenSerialDevice(path, failure, error);
    if (device.IsValid()) {
        ::tcflush(device.get(), TCIOFLUSH);
        line.io_ = std::move(device);
        line.path_ = path;
    }
    return line;
}

std::size_t SerialLine::UndeliveredBytes() const {
    int count = 0;
    const bool known = IsPseudoTerminal() ? ::ioctl(slave_.get(), TIOCINQ, &count) == 0
                                          : ::ioctl(io_.get(), TIOCOUTQ, &count) == 0;
    return known && count > 0 ? static_cast<std::size_t>(count) : 0;
}
