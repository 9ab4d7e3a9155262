#include "store/FileReader.h"

std::optional<FileFailure> FileReader::Open(const std::string& path) {
    const FileSystem::Opened opened = files_->Open(path, FileSystem::Access::kRead);
    file_ = OwnedFile(*files_, opened.file);
    path_ = path;
    if (!file_) {
        return OpenFailure(*files_, opened, "read", path.c_str());
    }
    return std::nullopt;
}

std::optional<FileFailure> FileReader::Read(std::uint64_t offset, char* bytes, std::size_t size,
                                            std::size_t& read) {
    read = 0;
    while (read < size) {
        std::size_t done = 0;
        if (const SystemErrorCode error =
                files_->ReadAt(file_.get(), offset + read, bytes + read, size - read, done)) {
            return Failure(*files_, "read", path_.c_str(), error);
        }
        if (done == 0) {
            break;
        }
        read += done;
    }
    return std::nullopt;
}
