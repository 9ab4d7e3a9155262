#pragma once

#include <cstdint>

// A file as the store saw it: which file (its volume and its number there), how long, and when
// it was last written by the file system's clock. A face that keeps the stamp of its last load or
// save can tell by a later one whether another program has written the file meanwhile.
struct FileStamp {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int32_t modifiedNanoseconds = 0;

    bool SameFile(const FileStamp& other) const {
        return volume == other.volume && index == other.index;
    }
    bool SameTime(const FileStamp& other) const {
        return modifiedSeconds == other.modifiedSeconds &&
               modifiedNanoseconds == other.modifiedNanoseconds;
    }
    friend bool operator==(const FileStamp& one, const FileStamp& other) {
        return one.SameFile(other) && one.size == other.size && one.SameTime(other);
    }
    friend bool operator!=(const FileStamp& one, const FileStamp& other) { return !(one == other); }
};
