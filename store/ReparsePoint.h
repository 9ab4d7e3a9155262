#pragma once

// Where a symbolic link of Windows leads, read from its reparse point's data as
// FSCTL_GET_REPARSE_POINT gives them. Pure: the Win32 twin reads the data, a test builds them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

constexpr std::uint32_t kSymbolicLinkTag = 0xA000000C; // IO_REPARSE_TAG_SYMLINK

struct LinkReading {
    std::u16string target;
    bool relative = false; // then target is the link's folder followed by the link's text
};

// Nothing for another kind of reparse point (which is the file itself) or data that do not hold
// together. An absolute target is an NT path, \??\C:\folder\file or \??\UNC\server\share\file,
// and comes back as C:\folder\file or \\server\share\file.
std::optional<LinkReading> ReadSymbolicLink(const unsigned char* data, std::size_t size,
                                            std::u16string_view linkPath);
