#pragma once

// The names the store gives and recognises beside a file: its temporaries, cut to the file
// system's limits on a name and a path. Pure: no file is touched.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

// Temporaries are "<name>.vkd37-<8 hex digits>.tmp", the number drawn at random and the file
// created only where no file of that name exists. A process id would not do: a native process,
// one under Wine, one in a container or one on another PC sharing the folder may have the same
// id. The form is fixed to the letter, so that no file of the user's is taken for one. Where that
// would pass the file system's limit on a name (`nameMax` bytes), <name> is cut to fit, at the
// end of a whole UTF-8 character.
inline constexpr std::string_view kTemporaryMarker = ".vkd37-";
inline constexpr std::string_view kTemporarySuffix = ".tmp";
inline constexpr std::size_t kTemporaryDigits = 8;
inline constexpr std::size_t kNoNameLimit = static_cast<std::size_t>(-1);

// A save takes milliseconds, but whose process it is cannot be told across pid namespaces, Wine
// and network shares; a temporary file older than this (by the file system's clock) is left
// over from a save that was cut short. One still held open, where the system can tell, is kept.
constexpr long long kStaleTemporarySeconds = 60 * 60;

// Where the file `path` lives, with its separator ("" for the working directory), and its name.
std::pair<std::string_view, std::string_view> SplitDirectory(std::string_view path);

// The part of the file's name `name` its temporaries' names begin with.
std::string_view TemporaryNameStem(std::string_view name, std::size_t nameMax);

// The temporary numbered `number` of the file at `path`.
std::string TemporaryFileName(std::string_view path, std::uint32_t number,
                              std::size_t nameMax = kNoNameLimit);

// The number of the temporary file `fileName` of the file named `name`, or nothing for any other
// name.
std::optional<std::uint32_t> TemporaryFileNumber(std::string_view fileName, std::string_view name,
                                                 std::size_t nameMax = kNoNameLimit);

// Where names are counted in UTF-16 units and the whole path is limited too (Windows: 259 units
// and 255 for a name on the calls XP has), the limit for TemporaryFileName that keeps the
// temporaries of the file at `path` within both; kNoNameLimit when they fit as they are.
std::size_t NameLimitForUtf16Limits(std::string_view path, std::size_t pathMax,
                                    std::size_t nameMax);
