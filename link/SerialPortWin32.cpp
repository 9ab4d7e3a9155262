#include "link/SerialPort.h"

#include <cwctype>
#include <utility>

namespace {

constexpr DWORD kPurgeBoth = PURGE_TXCLEAR | PURGE_RXCLEAR;

// The bounded write loop; false when a write fails or moves nothing too often in a row.
bool WriteFrame(HANDLE port, const UploadFrame& frame) {
    DWORD sent = 0;
    int emptyWrites = 0;
    while (sent < frame.size()) {
        DWORD written = 0;
        if (!::WriteFile(port, frame.data() + sent, static_cast<DWORD>(frame.size() - sent),
                         &written, nullptr)) {
            return false;
        }
        emptyWrites = written == 0 ? emptyWrites + 1 : 0;
        if (emptyWrites == LineTiming::kMaxEmptyWrites) {
            return false;
        }
        sent += written;
    }
    return true;
}

// "COM12" (any case) as "\\.\COM12": the device namespace reaches every number, where the plain
// name stops at COM9. A name already in that namespace is taken as it is.
std::wstring DeviceName(const std::string& name) {
    const std::wstring wide(name.begin(), name.end());
    if (wide.rfind(L"\\\\.\\", 0) == 0) {
        return wide;
    }
    const bool isComName = wide.size() > 3 && std::towupper(wide[0]) == L'C' &&
                           std::towupper(wide[1]) == L'O' && std::towupper(wide[2]) == L'M' &&
                           wide.find_first_not_of(L"0123456789", 3) == std::wstring::npos;
    return isComName ? L"\\\\.\\" + wide : std::wstring();
}

} // namespace

bool ConfigurePort(HANDLE port, DCB& dcb) {
    if (!::GetCommState(port, &dcb)) {
        return false;
    }
    // The line format, and a line that passes every byte unchanged whatever another program
    // left set on the port: no XON/XOFF, no dropped NULs, no replaced bytes, and no error that
    // blocks every later transfer until it is cleared. Hardware handshaking and the DTR/RTS
    // lines stay as the port reported them; a controller may rely on them.
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.ByteSize = 8;
    dcb.StopBits = ONESTOPBIT;
    dcb.BaudRate = LineTiming::kBaudRate;
    ::SetCommState(port, &dcb);
    ::SetupComm(port, LineTiming::kQueueSize, LineTiming::kQueueSize);
    // A 19-byte echo must arrive within 50 ms a byte plus 100 ms, with no gap over 100 ms; the
    // write has the same bound.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = LineTiming::kIntervalMs;
    timeouts.ReadTotalTimeoutMultiplier = LineTiming::kPerByteMs;
    timeouts.ReadTotalTimeoutConstant = LineTiming::kConstantMs;
    timeouts.WriteTotalTimeoutMultiplier = LineTiming::kPerByteMs;
    timeouts.WriteTotalTimeoutConstant = LineTiming::kConstantMs;
    // Without them a read of a silent line could wait for ever.
    if (!::SetCommTimeouts(port, &timeouts)) {
        return false;
    }
    ::PurgeComm(port, kPurgeBoth);
    return true;
}

EchoResult ExchangeFrame(HANDLE port, const UploadFrame& frame) {
    // A line error latched earlier (framing, overrun) would fail this transfer too; whatever
    // arrived before this frame (a late or extra echo) must not count as its answer.
    DWORD errors = 0;
    ::ClearCommError(port, &errors, nullptr);
    ::PurgeComm(port, kPurgeBoth);
    if (!WriteFrame(port, frame)) {
        return {EchoOutcome::kWriteFailed, 0};
    }
    UploadFrame echo{};
    DWORD received = 0;
    if (!::ReadFile(port, echo.data(), static_cast<DWORD>(echo.size()), &received, nullptr)) {
        return {EchoOutcome::kLineLost, received};
    }
    return JudgeEcho(frame, echo.data(), received);
}

SerialPort SerialPort::Open(const std::string& name, OpenFailure& failure, std::string& error) {
    SerialPort port;
    const std::string prefix = "cannot open " + name + ": ";
    const std::wstring device = DeviceName(name);
    if (device.empty()) {
        failure = OpenFailure::kMissing;
        error = prefix + "not a port name (COM1, COM12, ...)";
        return port;
    }
    FileHandle handle(::CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    if (!handle.IsValid()) {
        const DWORD reason = ::GetLastError();
        const bool busy = reason == ERROR_ACCESS_DENIED || reason == ERROR_SHARING_VIOLATION;
        const bool missing = reason == ERROR_FILE_NOT_FOUND || reason == ERROR_PATH_NOT_FOUND;
        failure = busy ? OpenFailure::kBusy : missing ? OpenFailure::kMissing : OpenFailure::kOther;
        error = prefix + (busy      ? "held by another program"
                          : missing ? "no such port"
                                    : "error " + std::to_string(reason));
        return port;
    }
    DCB dcb{};
    if (!ConfigurePort(handle.get(), dcb)) {
        failure = OpenFailure::kNotSerial;
        error = prefix + "not a serial port";
        return port;
    }
    failure = OpenFailure::kNone;
    port.handle_ = std::move(handle);
    return port;
}

bool SerialPort::IsOpen() const {
    return handle_.IsValid();
}

EchoResult SerialPort::Exchange(const UploadFrame& frame) {
    return ExchangeFrame(handle_.get(), frame);
}
