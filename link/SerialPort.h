#pragma once

#include <optional>
#include <string>

#include "link/EchoRule.h"
#include "link/UploadFrame.h"
#include "platform/Handles.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <termios.h>
#endif

// The serial twins: each step has one name and one signature on both platforms, and a step that
// can fail returns the cause in words, or nothing when it worked.
//   OpenSerialDevice  opens a port for this process alone, configured for the controller
//   ConfigurePort     9600 baud 8N1, a binary-clean line, the time-outs; handshaking and the
//                     modem lines stay as the port reports them
//   ExchangeFrame     discards both buffers, sends the frame, reads and judges its echo
//   LineIsAlive       whether an open port still has its device behind it
using PortError = std::optional<std::string>;

#ifdef _WIN32
using PortHandle = FileHandle;
using LineSettings = DCB;
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
using LineSettings = termios;
#endif

// What a failing write of the settings means: the dialog goes on with the port as it is (it
// never looked at that call), the tool and the simulator refuse a port they could not set.
enum class SettingsCheck { kAsDialog, kStrict };

// The settings the controller's line needs, made from those the port reported.
void ApplyControllerLine(LineSettings& settings);
// settings receives what the port reported with the controller's line applied.
PortError ConfigurePort(PortHandle::Handle port, LineSettings& settings, SettingsCheck check);
EchoResult ExchangeFrame(PortHandle::Handle port, const UploadFrame& frame);
// False once the device has gone (an adapter unplugged), though nothing was sent to notice it.
bool LineIsAlive(PortHandle::Handle port);
// Names: a device path on POSIX; COMn (any n) or a full device name on Windows. The error names
// the port and the cause in the system's words; port holds the open port otherwise.
PortError OpenSerialDevice(const std::string& name, PortHandle& port);

// One serial port for the command-line tool.
class SerialPort {
public:
    PortError Open(const std::string& name) { return OpenSerialDevice(name, handle_); }
    bool IsOpen() const { return handle_.IsValid(); }
    void Close() { handle_.Close(); }
    EchoResult Exchange(const UploadFrame& frame) { return ExchangeFrame(handle_.get(), frame); }
    bool IsAlive() const { return LineIsAlive(handle_.get()); }

private:
    PortHandle handle_;
};
