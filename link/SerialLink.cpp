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
    // Only the line format changes; handshaking stays as the port reported it.
    dcb.fParity = FALSE;
    dcb.ByteSize = 8;
    dcb.StopBits = ONESTOPBIT;
    dcb.BaudRate = kBaudRate;
    ::SetCommState(hLinkHandle.get(), &dcb);
    ::SetupComm(hLinkHandle.get(), kQueueSize, kQueueSize);
    // Interval, read per byte, read constant, write per byte, write constant (ms): a 19-byte
    // echo must arrive within 1050 ms with no gap over 100 ms.
    COMMTIMEOUTS timeouts{100, 50, 100, 50, 100};
    ::SetCommTimeouts(hLinkHandle.get(), &timeouts);
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
    // Whatever arrived before this frame (a late or extra echo) must not count as its answer.
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
