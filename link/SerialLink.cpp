#include "link/SerialLink.h"

#include <string>

namespace {

constexpr DWORD kBaudRate = 9600;
constexpr DWORD kQueueSize = 1024;
constexpr DWORD kPurgeBoth = PURGE_TXCLEAR | PURGE_RXCLEAR;
// With flow control holding output back a write can time out having moved nothing; a few such
// writes in a row mean the line is stuck.
constexpr int kMaxEmptyWrites = 3;

} // namespace

int SerialLink::OpenPort(int number) {
    if (hLinkHandle.IsValid()) {
        return 1;
    }
    // No "\\.\" prefix: the plain name reaches COM0 to COM9, the ports the dialog offers.
    const std::wstring name = L"COM" + std::to_wstring(number);
    hLinkHandle = FileHandle(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    if (!hLinkHandle.IsValid()) {
        return 0;
    }
    if (!::GetCommState(hLinkHandle.get(), &dcb)) {
        hLinkHandle.Close();
        return 0;
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
    dcb.BaudRate = kBaudRate;
    ::SetCommState(hLinkHandle.get(), &dcb);
    ::SetupComm(hLinkHandle.get(), kQueueSize, kQueueSize);
    // A 19-byte echo must arrive within 50 ms a byte plus 100 ms, with no gap over 100 ms; the
    // write has the same bound.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 100;
    timeouts.ReadTotalTimeoutMultiplier = 50;
    timeouts.ReadTotalTimeoutConstant = 100;
    timeouts.WriteTotalTimeoutMultiplier = 50;
    timeouts.WriteTotalTimeoutConstant = 100;
    // Without them a read of a silent line could wait for ever.
    if (!::SetCommTimeouts(hLinkHandle.get(), &timeouts)) {
        hLinkHandle.Close();
        return 0;
    }
    ::PurgeComm(hLinkHandle.get(), kPurgeBoth);
    bOpened = 1;
    return 1;
}

void SerialLink::ClosePort() {
    if (bOpened == 1) {
        hLinkHandle.Close();
        bOpened = 0;
    }
}

int SerialLink::SendFrame(const UploadFrame& frame) {
    if (!hLinkHandle.IsValid()) {
        return 0;
    }
    // A line error latched earlier (framing, overrun) would fail this transfer too; whatever
    // arrived before this frame (a late or extra echo) must not count as its answer.
    DWORD errors = 0;
    ::ClearCommError(hLinkHandle.get(), &errors, nullptr);
    ::PurgeComm(hLinkHandle.get(), kPurgeBoth);

    DWORD sent = 0;
    int emptyWrites = 0;
    while (sent < frame.size()) {
        DWORD written = 0;
        if (!::WriteFile(hLinkHandle.get(), frame.data() + sent,
                         static_cast<DWORD>(frame.size() - sent), &written, nullptr)) {
            return 0;
        }
        emptyWrites = written == 0 ? emptyWrites + 1 : 0;
        if (emptyWrites == kMaxEmptyWrites) {
            return 0;
        }
        sent += written;
    }

    UploadFrame echo{};
    DWORD received = 0;
    if (!::ReadFile(hLinkHandle.get(), echo.data(), static_cast<DWORD>(echo.size()), &received,
                    nullptr) ||
        received < echo.size()) {
        return 0;
    }
    for (size_t i = 0; i < frame.size(); ++i) {
        if (echo[i] != frame[i]) {
            return 0;
        }
    }
    return 1;
}
