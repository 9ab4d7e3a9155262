#include "link/SerialLink.h"

#include <string>
#include <utility>

#include "link/SerialPort.h"

int SerialLink::OpenPort(int number) {
    if (IsOpen()) {
        return 1;
    }
    // No "\\.\" prefix: the plain name reaches COM0 to COM9, the ports the dialog offers.
    const std::wstring name = L"COM" + std::to_wstring(number);
    FileHandle port(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    // A port that cannot be configured is closed again as this returns.
    if (!port.IsValid() || ConfigurePort(port.get(), dcb, SettingsCheck::kAsDialog).has_value()) {
        return 0;
    }
    Hold(std::move(port));
    return 1;
}

void SerialLink::ClosePort() {
    Hold(FileHandle());
}

int SerialLink::SendFrame(const UploadFrame& frame) {
    return Exchange(frame).outcome == EchoOutcome::kConfirmed ? 1 : 0;
}

EchoResult SerialLink::Exchange(const UploadFrame& frame) {
    if (!IsOpen()) {
        return {EchoOutcome::kWriteFailed, 0};
    }
    return ExchangeFrame(hLinkHandle.get(), frame);
}

void SerialLink::Hold(FileHandle port) {
    hLinkHandle = std::move(port);
    bOpened = hLinkHandle.IsValid() ? 1 : 0;
}
