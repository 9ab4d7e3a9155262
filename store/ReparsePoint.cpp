#include "store/ReparsePoint.h"

#ifdef _WIN32
#include <windows.h>

static_assert(kSymbolicLinkTag == IO_REPARSE_TAG_SYMLINK, "Windows' own tag");
#endif

namespace {

// The fields of REPARSE_DATA_BUFFER's symbolic link form, little-endian.
constexpr std::size_t kTag = 0;
constexpr std::size_t kSubstituteOffset = 8;
constexpr std::size_t kSubstituteLength = 10;
constexpr std::size_t kFlags = 16;
constexpr std::size_t kPathBuffer = 20;
constexpr std::uint32_t kRelative = 1; // SYMLINK_FLAG_RELATIVE

std::uint32_t Field(const unsigned char* data, std::size_t at, std::size_t bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = bytes; i-- > 0;) {
        value = value << 8 | data[at + i];
    }
    return value;
}

} // namespace

std::optional<LinkReading> ReadSymbolicLink(const unsigned char* data, std::size_t size,
                                            std::u16string_view linkPath) {
    if (size < kPathBuffer || Field(data, kTag, 4) != kSymbolicLinkTag) {
        return std::nullopt;
    }
    const std::size_t offset = Field(data, kSubstituteOffset, 2);
    const std::size_t length = Field(data, kSubstituteLength, 2);
    if (kPathBuffer + offset + length > size || length % 2 != 0) {
        return std::nullopt;
    }
    LinkReading reading;
    for (std::size_t at = kPathBuffer + offset; at < kPathBuffer + offset + length; at += 2) {
        reading.target += static_cast<char16_t>(Field(data, at, 2));
    }
    reading.relative = (Field(data, kFlags, 4) & kRelative) != 0;
    if (reading.relative) {
        const std::size_t separator = linkPath.find_last_of(u"\\/");
        const std::size_t folder = separator == std::u16string_view::npos ? 0 : separator + 1;
        reading.target = std::u16string(linkPath.substr(0, folder)) + reading.target;
    } else if (reading.target.compare(0, 4, u"\\??\\") == 0) {
        reading.target = reading.target.compare(4, 4, u"UNC\\") == 0
                             ? u"\\\\" + reading.target.substr(8)
                             : reading.target.substr(4);
    }
    return reading;
}
