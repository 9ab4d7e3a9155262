#pragma once

#include <cstddef>
#include <string>

#include "link/EchoRule.h"
#include "link/UploadFrame.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/FileHandle.h"
#else
#include "platform/UniqueFd.h"
#endif

// Why a port could not be opened.
enum class OpenFailure { kNone, kMissing, kBusy, kNotSerial, kOther };

// One serial port opened exclusively with the dialog's line settings, for the command-line tool.
// Names: a device path on POSIX; COMn (any n) or a full device name on Windows.
class SerialPort {
public:
    // An invalid port on failure, with failure set and error naming the cause.
    static SerialPort Open(const std::string& name, OpenFailure& failure, std::string& error);

    bool IsOpen() const;
    // Discards both buffers, sends the frame and reads its echo within the time-outs.
    EchoResult Exchange(const UploadFrame& frame);

private:
#ifdef _WIN32
    FileHandle handle_;
#else
    UniqueFd fd_;
#endif
};

#ifdef _WIN32
// The configuration and the exchange the dialog's SerialLink shares with SerialPort.
// ConfigurePort changes the line format only (the handshaking stays as the port reported it),
// sets the queues and the time-outs and discards both buffers; dcb receives the settings made.
bool ConfigurePort(HANDLE port, DCB& dcb);
EchoResult ExchangeFrame(HANDLE port, const UploadFrame& frame);
#else
// Raw 8N1 at 9600 baud: no byte translation, no software flow control, no parity checking;
// hardware flow control as the port reports it.
bool ConfigureLine(int fd, std::string& error);

// Opens a serial device non-blocking for this process alone: TIOCEXCL, and an flock that
// cooperating programs honour too (TIOCEXCL does not stop root). Configured with ConfigureLine.
UniqueFd OpenSerialDevice(const std::string& path, OpenFailure& failure, std::string& error);

// A new pseudo-terminal, both ends raw; the master is non-blocking. The slave stays open so the
// master does not report EIO while the other program has it closed.
struct PseudoTerminal {
    UniqueFd master;
    UniqueFd slave;
    std::string slavePath;
};
bool CreatePseudoTerminal(PseudoTerminal& terminal, std::string& error);
#endif
