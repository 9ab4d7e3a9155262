#include "store/RecordFile.h"

std::optional<FileFailure> RecordFile::Open(const std::string& path) {
    const FileSystem::Opened opened = files_->OpenToAppend(path);
    file_ = OwnedFile(*files_, opened.file);
    path_ = path;
    if (!file_) {
        return Failure(*files_, "open", path.c_str(), opened.error);
    }
    return std::nullopt;
}

RecordFile::Appended RecordFile::Append(std::string_view line, const LockWait& wait) {
    Deadline deadline = SaveDeadline(wait, *files_);
    SystemErrorCode error = 0;
    Appended appended;
    appended.lock = WaitForSaveLock(*files_, file_.get(), deadline, error);
    if (const SystemErrorCode failed = WriteAll(*files_, file_.get(), FileSystem::kAtEnd, line)) {
        appended.failure = Failure(*files_, "write", path_.c_str(), failed);
    }
    if (appended.lock == LockEnd::kTaken) {
        files_->UnlockByte(file_.get(), kSaveLockOffset);
    }
    return appended;
}

std::optional<FileFailure> RecordFile::Close() {
    if (const SystemErrorCode error = file_.Close()) {
        return Failure(*files_, "close", path_.c_str(), error);
    }
    return std::nullopt;
}
