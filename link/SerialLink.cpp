#include "link/SerialLink.h"

#include <string>
#include <utility>

#include "link/SerialPort.h"
#include "platform/Text.h"

int SerialLink::OpenPort(int number) {
    return Open(number) ? 0 : 1;
}

std::optional<PortFailure> SerialLink::Open(int number) {
    if (IsOpen()) {
        return std::nullopt;
    }
    // No "\\.\" prefix: the plain name reaches COM0 to COM9, the ports the dialog offers.
    const std::string name = "COM" + std::to_string(number);
    FileHandle port;
    // A port that cannot be configured is closed again as this returns.
    if (std::optional<PortFailure> failure =
            OpenComDevice(Wide(name), name, SettingsCheck::kAsDialog, port, dcb)) {
        return failure;
    }
    Hold(std::move(port));
    return std::nullopt;
}

void SerialLink::ClosePort() {
    Hold(FileHandle());
}

int SerialLink::SendFrame(const UploadFrame& frame) {
    const std::optional<EchoResult> result = Exchange(frame);
    return result && result->outcome == EchoOutcome::kConfirmed ? 1 : 0;
}

std::optional<EchoResult> SerialLink::Exchange(const UploadFrame& frame) {
    if (!IsOpen()) {
        return std::nullopt;
    }
    return ExchangeFrame(hLinkHandle.get(), frame);
}

void SerialLink::Hold(FileHandle port) {
    hLinkHandle = std::move(port);
    bOpened = hLinkHandle.IsValid() ? 1 : 0;
}
