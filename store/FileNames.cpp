#include "store/FileNames.h"

#include <algorithm>

namespace {

constexpr std::size_t kAdded = kTemporaryMarker.size() + kTemporaryDigits + kTemporarySuffix.size();

bool IsLead(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
}

} // namespace

std::pair<std::string_view, std::string_view> SplitDirectory(std::string_view path) {
#ifdef _WIN32
    const std::size_t separator = path.find_last_of("\\/:");
#else
    const std::size_t separator = path.find_last_of('/');
#endif
    const std::size_t nameStart = separator == std::string_view::npos ? 0 : separator + 1;
    return {path.substr(0, nameStart), path.substr(nameStart)};
}

std::string_view TemporaryNameStem(std::string_view name, std::size_t nameMax) {
    if (nameMax == kNoNameLimit || name.size() + kAdded <= nameMax) {
        return name;
    }
    std::size_t length = nameMax > kAdded ? nameMax - kAdded : 0;
    while (length > 0 && !IsLead(name[length])) {
        --length; // name[length] continues the character before it
    }
    return name.substr(0, length);
}

std::string TemporaryFileName(std::string_view path, std::uint32_t number, std::size_t nameMax) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string hex(kTemporaryDigits, '0');
    for (int place = 7; place >= 0; --place, number >>= 4) {
        hex[static_cast<std::size_t>(place)] = kDigits[number & 0xF];
    }
    const auto [directory, name] = SplitDirectory(path);
    return std::string(directory) + std::string(TemporaryNameStem(name, nameMax)) +
           std::string(kTemporaryMarker) + hex + std::string(kTemporarySuffix);
}

std::optional<std::uint32_t> TemporaryFileNumber(std::string_view fileName, std::string_view name,
                                                 std::size_t nameMax) {
    const std::string_view stem = TemporaryNameStem(name, nameMax);
    if (fileName.size() != stem.size() + kAdded || fileName.substr(0, stem.size()) != stem ||
        fileName.substr(stem.size(), kTemporaryMarker.size()) != kTemporaryMarker ||
        fileName.substr(fileName.size() - kTemporarySuffix.size()) != kTemporarySuffix) {
        return std::nullopt;
    }
    std::uint32_t number = 0;
    for (const char digit :
         fileName.substr(stem.size() + kTemporaryMarker.size(), kTemporaryDigits)) {
        const bool decimal = digit >= '0' && digit <= '9';
        if (!decimal && !(digit >= 'a' && digit <= 'f')) {
            return std::nullopt;
        }
        number = number << 4 | static_cast<std::uint32_t>(decimal ? digit - '0' : digit - 'a' + 10);
    }
    return number;
}

std::size_t NameLimitForUtf16Limits(std::string_view path, std::size_t pathMax,
                                    std::size_t nameMax) {
    const auto units = [](char lead) { return static_cast<unsigned char>(lead) >= 0xF0 ? 2u : 1u; };
    const auto [directory, name] = SplitDirectory(path);
    std::size_t directoryUnits = 0;
    for (const char c : directory) {
        directoryUnits += IsLead(c) ? units(c) : 0;
    }
    const std::size_t room =
        directoryUnits + kAdded >= pathMax ? 0 : pathMax - directoryUnits - kAdded;
    const std::size_t stemUnits = std::min(room, nameMax > kAdded ? nameMax - kAdded : 0);
    std::size_t used = 0;
    std::size_t bytes = 0;
    for (std::size_t at = 0; at < name.size(); ++at) {
        if (!IsLead(name[at])) {
            continue;
        }
        if (used + units(name[at]) > stemUnits) {
            return bytes + kAdded;
        }
        used += units(name[at]);
        bytes = at + 1;
        while (bytes < name.size() && !IsLead(name[bytes])) {
            ++bytes;
        }
    }
    return kNoNameLimit;
}
