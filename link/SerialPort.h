#pragma once

#include <cstddef>
#include <string>

#include "link/UploadFrame.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/FileHandle.h"
#else
#include "platform/UniqueFd.h"
#endif

// The line and its time-outs, the same on every platform: 9600 baud 8N1, queues of 1024 bytes;
// a write or a read of n bytes may take 50 ms per byte plus 100 ms, and a read also ends when
// more than 100 ms pass between two bytes.
namespace LineTiming {
constexpr unsigned kBaudRate = 9600;
constexpr unsigned kQueueSize = 1024;
constexpr unsigned kIntervalMs = 100;
constexpr unsigned kPerByteMs = 50;
constexpr unsigned kConstantMs = 100;
// With flow control holding output back a write can time out having moved nothing; a few such
// writes in a row mean the line is stuck.
constexpr int kMaxEmptyWrites = 3;

constexpr unsigned TransferLimitMs(std::size_t bytes) {
    return kPerByteMs * static_cast<unsigned>(bytes) + kConstantMs;
}
} // namespace LineTiming

// How one exchange of a frame and its echo ended.
enum class EchoOutcome {
    kConfirmed,   // the 19 bytes came back unchanged
    kWriteFailed, // the frame did not go out whole
    kNoEcho,      // nothing came back within the time-outs
    kShortEcho,   // fewer than 19 bytes came back
    kChangedEcho, // 19 bytes came back, not all equal to the frame
    kLineLost,    // the device went away during the exchange
};

// The name scripts and logs see.
inline const char* EchoOutcomeName(EchoOutcome outcome) {
    switch (outcome) {
    case EchoOutcome::kConfirmed:
        return "confirmed";
    case EchoOutcome::kWriteFailed:
        return "write-failed";
    case EchoOutcome::kNoEcho:
        return "no-echo";
    case EchoOutcome::kShortEcho:
        return "short-echo";
    case EchoOutcome::kChangedEcho:
        return "changed-echo";
    case EchoOutcome::kLineLost:
        return "line-lost";
    }
    return "unknown";
}

struct EchoResult {
    EchoOutcome outcome = EchoOutcome::kNoEcho;
    std::size_t received = 0; // echo bytes read, at most 19
};

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
