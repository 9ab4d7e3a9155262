#include "link/SerialPort.h"

#include <cwctype>
#include <utility>

#include "platform/SystemError.h"
#include "platform/Text.h"

namespace {

constexpr DWORD kPurgeBoth = PURGE_TXCLEAR | PURGE_RXCLEAR;

// The bounded write loop. A write that moves nothing too often in a row means the line is stuck
// (write failed); a call that fails means the device has gone.
EchoOutcome WriteFrame(HANDLE port, const UploadFrame& frame) {
    DWORD sent = 0;
    int emptyWrites = 0;
    while (sent < frame.size()) {
        DWORD written = 0;
        if (!::WriteFile(port, frame.data() + sent, static_cast<DWORD>(frame.size() - sent),
                         &written, nullptr)) {
            return EchoOutcome::kLineLost;
        }
        emptyWrites = written == 0 ? emptyWrites + 1 : 0;
        if (emptyWrites == LineTiming::kMaxEmptyWrites) {
            return EchoOutcome::kWriteFailed;
        }
        sent += written;
    }
    return EchoOutcome::kConfirmed;
}

// "COM12" (any case) as "\\.\COM12": the device namespace reaches every number, where the plain
// name stops at COM9. A name already in that namespace is taken as it is.
std::wstring DeviceName(const std::string& name) {
    const std::wstring wide = Wide(name);
    if (wide.rfind(L"\\\\.\\", 0) == 0) {
        return wide;
    }
    const bool isComName = wide.size() > 3 && std::towupper(wide[0]) == L'C' &&
                           std::towupper(wide[1]) == L'O' && std::towupper(wide[2]) == L'M' &&
                           wide.find_first_not_of(L"0123456789", 3) == std::wstring::npos;
    return isComName ? L"\\\\.\\" + wide : std::wstring();
}

// A call that sets up the port failed: the port is not one this program can use as a serial
// line.
PortFailure SettingsFailure(const char* verb, const char* what) {
    return MakeFailure(PortFault::kNotSerial, verb, what, SystemErrorText(::GetLastError()));
}

} // namespace

void ApplyControllerLine(DCB& dcb) {
    // The line format, and a line that passes every byte unchanged whatever another program
    // left set on the port: no parity bit (the controller's frames are 8N1), no XON/XOFF, no
    // dropped NULs, no replaced bytes, and no error that blocks every later transfer until it
    // is cleared. Hardware handshaking and the DTR/RTS lines stay as the port reported them; a
    // controller may rely on them.
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.Parity = NOPARITY;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.ByteSize = 8;
    dcb.StopBits = ONESTOPBIT;
    dcb.BaudRate = LineTiming::kBaudRate;
}

std::optional<PortFailure> ConfigurePort(HANDLE port, DCB& dcb, SettingsCheck check) {
    if (!::GetCommState(port, &dcb)) {
        return SettingsFailure("read", "the line settings");
    }
    ApplyControllerLine(dcb);
    if (!::SetCommState(port, &dcb) && check == SettingsCheck::kStrict) {
        return SettingsFailure("set", "the line settings");
    }
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
        return SettingsFailure("set", "the time-outs");
    }
    ::PurgeComm(port, kPurgeBoth);
    return std::nullopt;
}

EchoResult ExchangeFrame(HANDLE port, const UploadFrame& frame) {
    // A line error latched earlier (framing, overrun) would fail this transfer too; whatever
    // arrived before this frame (a late or extra echo) must not count as its answer.
    DWORD errors = 0;
    ::ClearCommError(port, &errors, nullptr);
    ::PurgeComm(port, kPurgeBoth);
    const EchoOutcome written = WriteFrame(port, frame);
    if (written != EchoOutcome::kConfirmed) {
        return {written, 0};
    }
    UploadFrame echo{};
    DWORD received = 0;
    if (!::ReadFile(port, echo.data(), static_cast<DWORD>(echo.size()), &received, nullptr)) {
        return {EchoOutcome::kLineLost, 0};
    }
    return JudgeEcho(frame, echo.data(), received);
}

std::optional<std::size_t> QueuedInput(HANDLE port) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(port, &errors, &status)) {
        return std::nullopt;
    }
    return status.cbInQue;
}

bool LineIsAlive(HANDLE port) {
    DCB dcb{};
    return ::GetCommState(port, &dcb) != FALSE;
}

std::optional<PortFailure> OpenComDevice(const std::wstring& device, const std::string& name,
                                         SettingsCheck check, FileHandle& port, DCB& dcb) {
    FileHandle handle(::CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    if (!handle.IsValid()) {
        const DWORD reason = ::GetLastError();
        const bool busy = reason == ERROR_ACCESS_DENIED || reason == ERROR_SHARING_VIOLATION;
        const bool missing = reason == ERROR_FILE_NOT_FOUND || reason == ERROR_PATH_NOT_FOUND;
        return PortOpenFailure(busy      ? PortFault::kBusy
                               : missing ? PortFault::kMissing
                                         : PortFault::kOther,
                               name, SystemErrorText(reason));
    }
    if (const std::optional<PortFailure> failure = ConfigurePort(handle.get(), dcb, check)) {
        return PortOpenFailure(PortFault::kNotSerial, name, failure->text);
    }
    port = std::move(handle);
    return std::nullopt;
}

std::optional<PortFailure> OpenSerialDevice(const std::string& name, PortHandle& port) {
    const std::wstring device = DeviceName(name);
    if (device.empty()) {
        return PortOpenFailure(PortFault::kOther, name, "not a port name (COM1, COM12, ...)");
    }
    DCB dcb{};
    return OpenComDevice(device, name, SettingsCheck::kStrict, port, dcb);
}
