#include "cli/PortList.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>

#include "platform/Handles.h"

namespace {

std::vector<std::string> Entries(const std::string& directory) {
    std::vector<std::string> names;
    const Directory listing(::opendir(directory.c_str()));
    while (listing.IsValid()) {
        const dirent* entry = ::readdir(listing.get());
        if (!entry) {
            break;
        }
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The kernel makes ttyS0-ttyS31 whether or not a UART is there; a present one has a type.
bool IsRealUart(const std::string& name) {
    std::ifstream type("/sys/class/tty/" + name + "/type");
    int value = 0;
    return type >> value && value != 0;
}

} // namespace

std::vector<PortEntry> ListSerialPorts() {
    std::vector<PortEntry> ports;
    const std::string byId = "/dev/serial/by-id/";
    for (const std::string& name : Entries(byId)) {
        char target[PATH_MAX];
        if (::realpath((byId + name).c_str(), target)) {
            ports.push_back({byId + name, target});
        }
    }
    for (const std::string& name : Entries("/dev")) {
        if (StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM") ||
            (StartsWith(name, "ttyS") && IsRealUart(name))) {
            ports.push_back({"/dev/" + name, "/dev/" + name});
        }
    }
    return ports;
}
