#include "store/RecordFile.h"

#include <utility>

RecordFile::RecordFile(RecordFile&& other) noexcept
    : files_(other.files_), path_(std::move(other.path_)),
      file_(std::exchange(other.file_, kNoFile)) {}

RecordFile& RecordFile::operator=(RecordFile&& other) noexcept {
    if (this != &other) {
        Close();
        files_ = other.files_;
        path_ = std::move(other.path_);
        file_ = std::exchange(other.file_, kNoFile);
    }
    return *this;
}

std::optional<FileFailure> RecordFile::Open(const std::string& path) {
    Close();
    const FileSystem::Opened opened = files_->OpenToAppend(path);
    if (opened.file == kNoFile) {
        return Failure(*files_, "open", path.c_str(), opened.error);
    }
    path_ = path;
    file_ = opened.file;
    return std::nullopt;
}

RecordFile::Appended RecordFile::Append(std::string_view line, const LockWait& wait) {
    Deadline deadline = SaveDeadline(wait, *files_);
    SystemErrorCode error = 0;
    Appended appended;
    appended.lock = WaitForSaveLock(*files_, file_, deadline, error);
    if (const SystemErrorCode failed = WriteAll(*files_, file_, FileSystem::kAtEnd, line)) {
        appended.failure = Failure(*files_, "write", path_.c_str(), failed);
    }
    if (appended.lock == LockEnd::kTaken) {
        files_->UnlockByte(file_, kSaveLockOffset);
    }
    return appended;
}

std::optional<FileFailure> RecordFile::Close() {
    if (file_ == kNoFile) {
        return std::nullopt;
    }
    if (const SystemErrorCode error = files_->Close(std::exchange(file_, kNoFile))) {
        return Failure(*files_, "close", path_.c_str(), error);
    }
    return std::nullopt;
}
