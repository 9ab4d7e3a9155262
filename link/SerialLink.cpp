#include "link/SerialLink.h"

#include <string>

#include "link/SerialPort.h"

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
    DWORD error = 0;
    if (!ConfigurePort(hLinkHandle.get(), dcb, SettingsCheck::kAsDialog, error)) {
        hLinkHandle.Close();
        return 0;
    }
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
    return Exchange(frame).outcome == EchoOutcome::kConfirmed ? 1 : 0;
}

EchoResult SerialLink::Exchange(const UploadFrame& frame) {
    if (!hLinkHandle.IsValid()) {
        return {EchoOutcome::kWriteFailed, 0};
    }
    return ExchangeFrame(hLinkHandle.get(), frame);
}
