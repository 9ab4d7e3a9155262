#include "cli/PortList.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

// The names in a directory, sorted; none when it cannot be read.
std::vector<std::string> Entries(const std::string& directory) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        names.push_back(entry.path().filename().string());
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
        std::error_code error;
        const std::filesystem::path target = std::filesystem::canonical(byId + name, error);
        if (!error) {
            ports.push_back({byId + name, target.string()});
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
