#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "link/EchoRule.h"
#include "link/PortFailure.h"
#include "link/UploadFrame.h"
#include "platform/Deadline.h"
#include "platform/Handles.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <termios.h>
#endif

// The serial twins: each step has one name and one signature on both platforms, and a step that
// can fail returns its PortFailure, or nothing when it worked.
//   OpenSerialDevice  opens a port for this process alone, configured for the controller
//   ConfigurePort     9600 baud 8N1, a binary-clean line, the time-outs; handshaking and the
//                     modem lines stay as the port reports them
//   ExchangeFrame     discards both buffers, sends the frame, reads and judges its echo
//   LineIsAlive       whether an open port still has its device behind it
//   QueuedInput       how many received bytes wait to be read

#ifdef _WIN32
using PortHandle = FileHandle;
using LineSettings = DCB;
#else
// A port as this process holds it. TIOCEXCL keeps everybody but root out meanwhile; the flag
// belongs to the device, not to our descriptor, so it is cleared before every close: otherwise
// it outlives us for as long as anybody else (a simulator, a serial monitor) keeps the device
// open. The settings the port had when we took it go back before the close too, so a terminal
// program used afterwards finds the line as it left it. Both also happen when a fault ends the
// program (see ReleaseBeforeFaults).
class PortHandle {
public:
    using Handle = int;

    PortHandle() = default;
    explicit PortHandle(int fd) : fd_(fd) {}
    PortHandle(PortHandle&& other) noexcept;
    PortHandle& operator=(PortHandle&& other) noexcept;
    PortHandle(const PortHandle&) = delete;
    PortHandle& operator=(const PortHandle&) = delete;
    ~PortHandle() { Close(); }

    int get() const { return fd_.get(); }
    bool IsValid() const { return fd_.IsValid(); }
    // found goes back on the port as it is closed, or as a fault ends the program.
    void RestoreOnClose(const termios& found);
    bool Close();

private:
    UniqueFd fd_;
    std::optional<termios> found_;
};
using LineSettings = termios;
#endif

// What a failing write of the settings means: the dialog goes on with the port as it is (it
// never looked at that call), the tool and the simulator refuse a port they could not set.
enum class SettingsCheck { kAsDialog, kStrict };

// The settings the controller's line needs, made from those the port reported.
void ApplyControllerLine(LineSettings& settings);
// settings receives what the port reported with the controller's line applied. A failure is
// kNotSerial, its text "cannot read the line settings: <the system's words>" or the like.
std::optional<PortFailure> ConfigurePort(PortHandle::Handle port, LineSettings& settings,
                                         SettingsCheck check);
EchoResult ExchangeFrame(PortHandle::Handle port, const UploadFrame& frame);
// False once the device has gone (an adapter unplugged), though nothing was sent to notice it.
bool LineIsAlive(PortHandle::Handle port);
// Nothing when the port cannot tell.
std::optional<std::size_t> QueuedInput(PortHandle::Handle port);
// Names: a device path on POSIX; COMn (any n) or a full device name on Windows. port holds the
// open port when nothing is returned. On POSIX the terminal this program runs in is refused, by
// whatever name: its settings are the operator's.
std::optional<PortFailure> OpenSerialDevice(const std::string& name, PortHandle& port);
#ifdef _WIN32
// The device's own name as CreateFileW takes it (a plain "COM3" reaches COM1 to COM9 only, a name
// in the device namespace every one), opened for this process alone and configured; `name` is the
// port as the user knows it, for the failure's text.
std::optional<PortFailure> OpenComDevice(const std::wstring& device, const std::string& name,
                                         SettingsCheck check, FileHandle& port, DCB& dcb);
#endif

// One serial port for the command-line tool.
class SerialPort {
public:
    std::optional<PortFailure> Open(const std::string& name) {
        return OpenSerialDevice(name, handle_);
    }
    bool IsOpen() const { return handle_.IsValid(); }
    void Close() { handle_.Close(); }
    EchoResult Exchange(const UploadFrame& frame) {
        const EchoResult result = ExchangeFrame(handle_.get(), frame);
        lastExchange_ = SystemWaitClock().Now();
        return result;
    }
    bool IsAlive() const { return LineIsAlive(handle_.get()); }
    // Waits until the line has fallen quiet after the last exchange (link/LineWaits.h), or until
    // a stop signal.
    void AwaitQuietLine() const;

private:
    PortHandle handle_;
    std::optional<WaitClock::Clock::time_point> lastExchange_;
};
