#include "cli/PortList.h"

#include <algorithm>
#include <cstdlib>

#include <windows.h>

#include "platform/Handles.h"
#include "platform/Text.h"

namespace {

// COM2 before COM10.
int PortNumber(const std::string& port) {
    return port.size() > 3 ? std::atoi(port.c_str() + 3) : 0;
}

} // namespace

std::vector<PortEntry> ListSerialPorts() {
    std::vector<PortEntry> ports;
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                        &opened) != ERROR_SUCCESS) {
        return ports;
    }
    const RegistryKey key(opened);
    for (DWORD index = 0;; ++index) {
        wchar_t device[256];
        DWORD deviceLength = sizeof device / sizeof device[0];
        wchar_t port[64];
        DWORD portBytes = sizeof port - sizeof port[0];
        DWORD type = 0;
        const LONG status = ::RegEnumValueW(key.get(), index, device, &deviceLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(port), &portBytes);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status != ERROR_SUCCESS || type != REG_SZ) {
            continue;
        }
        // The data need not end in a terminator.
        int portLength = static_cast<int>(portBytes / sizeof port[0]);
        port[portLength] = L'\0';
        while (portLength > 0 && port[portLength - 1] == L'\0') {
            --portLength;
        }
        ports.push_back({Utf8(std::wstring_view(port, static_cast<std::size_t>(portLength))),
                         Utf8(std::wstring_view(device, deviceLength))});
    }
    std::sort(ports.begin(), ports.end(), [](const PortEntry& a, const PortEntry& b) {
        return PortNumber(a.port) < PortNumber(b.port);
    });
    return ports;
}
