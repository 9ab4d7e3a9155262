#include "cli/HostName.h"

#include <windows.h>

#include "platform/Text.h"

std::string HostName() {
    wchar_t name[256] = {};
    DWORD size = sizeof name / sizeof name[0];
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size)) {
        return {};
    }
    return Utf8(std::wstring(name, size));
}
