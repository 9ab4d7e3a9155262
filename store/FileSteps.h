#pragma once

// The steps a save of the store and a line of the record take alike over the file system: the
// one wait for the lock every save takes (kSaveLockOffset), a whole write, and a failed step in
// the system's words.

#include <string_view>
#include <utility>

#include "store/FileStore.h"
#include "store/FileSystem.h"

// How a wait for the lock ended.
enum class LockEnd {
    kTaken,
    kNotKept, // the file system keeps no locks (some network and FUSE ones): nothing to wait for
    kHeld,    // another program held it past the wait
    kStopped, // the caller stopped waiting while it was held
    kFailed,  // the system refused the lock itself
};

// A wait as `wait` bounds it, by the file system's clock.
Deadline SaveDeadline(const LockWait& wait, const FileSystem& files);

// Tries at once, then at every turn of `deadline` while another program holds the lock; kFailed
// leaves `error`.
LockEnd WaitForSaveLock(FileSystem& files, FileRef file, Deadline& deadline,
                        SystemErrorCode& error);

// A write that moved nothing, where the system named no error.
constexpr SystemErrorCode kNothingWritten = static_cast<SystemErrorCode>(-1);

// All of `bytes` at `offset` (or at the end: FileSystem::kAtEnd), whatever one write takes;
// `written`, when given, tells how many went.
SystemErrorCode WriteAll(FileSystem& files, FileRef file, std::uint64_t offset,
                         std::string_view bytes, std::size_t* written = nullptr);

// "cannot <verb> <name>: <the system's words>", with the fault the error stands for.
FileFailure Failure(const FileSystem& files, const char* verb, const char* name,
                    SystemErrorCode error);
// Why a file could not be opened: also "it is a directory, not a regular file" and the like.
FileFailure OpenFailure(const FileSystem& files, const FileSystem::Opened& opened, const char* verb,
                        const char* name);

// An open file of the file system, closed when done, its lock released first.
class OwnedFile {
public:
    explicit OwnedFile(FileSystem& files, FileRef file = kNoFile) : files_(&files), file_(file) {}
    OwnedFile(OwnedFile&& other) noexcept
        : files_(other.files_), file_(std::exchange(other.file_, kNoFile)),
          locked_(std::exchange(other.locked_, false)) {}
    OwnedFile& operator=(OwnedFile&& other) noexcept {
        if (this != &other) {
            Close();
            files_ = other.files_;
            file_ = std::exchange(other.file_, kNoFile);
            locked_ = std::exchange(other.locked_, false);
        }
        return *this;
    }
    ~OwnedFile() { Close(); }

    FileRef get() const { return file_; }
    explicit operator bool() const { return file_ != kNoFile; }
    void Locked() { locked_ = true; }
    // The file's own error as it closes: some file systems tell of a lost write only then.
    SystemErrorCode Close() {
        if (file_ == kNoFile) {
            return 0;
        }
        if (locked_) {
            files_->UnlockByte(file_, kSaveLockOffset);
            locked_ = false;
        }
        return files_->Close(std::exchange(file_, kNoFile));
    }

private:
    FileSystem* files_;
    FileRef file_;
    bool locked_ = false;
};
