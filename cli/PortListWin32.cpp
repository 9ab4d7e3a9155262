#include "cli/PortList.h"

#include <algorithm>
#include <cstdlib>

#include <windows.h>

namespace {

class RegistryKey {
public:
    explicit RegistryKey(const wchar_t* path) {
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key_) != ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() {
        if (key_) {
            ::RegCloseKey(key_);
        }
    }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::string Utf8(const wchar_t* text, int length) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(std::max(size, 0)), '\0');
    if (size > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text, length, narrow.data(), size, nullptr, nullptr);
    }
    return narrow;
}

// COM2 before COM10.
int PortNumber(const std::string& port) {
    return port.size() > 3 ? std::atoi(port.c_str() + 3) : 0;
}

} // namespace

std::vector<PortEntry> ListSerialPorts() {
    std::vector<PortEntry> ports;
    const RegistryKey key(L"HARDWARE\\DEVICEMAP\\SERIALCOMM");
    if (!key.get()) {
        return ports;
    }
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
        ports.push_back({Utf8(port, portLength), Utf8(device, static_cast<int>(deviceLength))});
    }
    std::sort(ports.begin(), ports.end(), [](const PortEntry& a, const PortEntry& b) {
        return PortNumber(a.port) < PortNumber(b.port);
    });
    return ports;
}
