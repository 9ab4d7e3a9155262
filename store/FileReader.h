#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "store/FileSteps.h"

// A regular file read a piece at a time from any place, over the store's seam, so that a file of
// any size (a commissioning record of years) is never read whole.
class FileReader {
public:
    explicit FileReader(FileSystem& files = SystemFiles()) : files_(&files), file_(files) {}

    // Why the file cannot be read (missing, not a regular file, refused); nothing when it can.
    std::optional<FileFailure> Open(const std::string& path);
    // Up to `size` bytes from `offset` on; `read` falls short only at the file's end.
    std::optional<FileFailure> Read(std::uint64_t offset, char* bytes, std::size_t size,
                                    std::size_t& read);

private:
    FileSystem* files_;
    std::string path_;
    OwnedFile file_;
};
