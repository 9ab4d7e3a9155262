#pragma once

#include <string>

#include "link/EchoRule.h"
#include "link/UploadFrame.h"
#include "platform/Handles.h"

#ifndef _WIN32
#include <sys/ioctl.h>
#endif

// The serial twins: each step has one name on both platforms.
//   OpenSerialDevice  opens a port for this process alone, configured for the controller
//   ConfigurePort     9600 baud 8N1, a binary-clean line, the time-outs; handshaking and the
//                     modem lines stay as the port reports them
//   ExchangeFrame     discards both buffers, sends the frame, reads and judges its echo

// Why a port could not be opened.
enum class OpenFailure { kNone, kMissing, kBusy, kNotSerial, kOther };

#ifdef _WIN32
using PortHandle = FileHandle;

// What a failing SetCommState means: the dialog goes on with the port as it is (it never looked
// at that call), the tool refuses a port it could not set.
enum class SettingsCheck { kAsDialog, kStrict };

// The settings the controller's line needs, made from those the port reported.
void ApplyControllerLine(DCB& dcb);
// False when the port cannot be used; error then holds the system's code.
bool ConfigurePort(HANDLE port, DCB& dcb, SettingsCheck check, DWORD& error);
EchoResult ExchangeFrame(HANDLE port, const UploadFrame& frame);
#else
// TIOCEXCL keeps everybody but root out while we hold the port. The flag belongs to the device,
// not to our descriptor, so it is cleared before every close: otherwise it outlives us for as
// long as anybody else (a simulator, a serial monitor) keeps the device open.
struct ExclusivePortTraits {
    using Handle = int;
    static Handle Invalid() { return -1; }
    static bool Close(Handle fd) {
        ::ioctl(fd, TIOCNXCL);
        return ::close(fd) == 0;
    }
};
using PortHandle = UniqueHandle<ExclusivePortTraits>;

bool ConfigurePort(int fd, std::string& error);
EchoResult ExchangeFrame(int fd, const UploadFrame& frame);
#endif

// Names: a device path on POSIX; COMn (any n) or a full device name on Windows. An invalid
// handle on failure, with failure set and error naming the cause in the system's words.
PortHandle OpenSerialDevice(const std::string& name, OpenFailure& failure, std::string& error);

// One serial port for the command-line tool.
class SerialPort {
public:
    static SerialPort Open(const std::string& name, OpenFailure& failure, std::string& error) {
        SerialPort port;
        port.handle_ = OpenSerialDevice(name, failure, error);
        return port;
    }

    bool IsOpen() const { return handle_.IsValid(); }
    EchoResult Exchange(const UploadFrame& frame) { return ExchangeFrame(handle_.get(), frame); }

private:
    PortHandle handle_;
};
