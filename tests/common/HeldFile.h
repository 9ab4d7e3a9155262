#pragma once

// Another program's hold on a file, as the Windows tests play it.

#include <string>

#include <windows.h>

#include "store/FileStore.h"
#include "platform/Handles.h"

class HeldFile {
public:
    enum class Hold {
        kUnshared, // open and shared with nobody: a backup, sync or virus scanner
        kSaveLock, // the lock every save takes: another save that hangs
    };

    HeldFile(const std::wstring& path, Hold hold)
        : hold_(hold),
          file_(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              hold == Hold::kUnshared ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {
        at_.Offset = static_cast<DWORD>(kSaveLockOffset);
        at_.OffsetHigh = static_cast<DWORD>(kSaveLockOffset >> 32);
        locked_ = hold == Hold::kSaveLock && file_.IsValid() &&
                  ::LockFileEx(file_.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                               1, 0, &at_);
    }
    ~HeldFile() { Release(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    // False when the hold could not be taken: a test that goes on would test nothing.
    bool IsHeld() const { return file_.IsValid() && (hold_ == Hold::kUnshared || locked_); }

    void Release() {
        if (locked_) {
            ::UnlockFileEx(file_.get(), 0, 1, 0, &at_);
            locked_ = false;
        }
        file_.Close();
    }

private:
    Hold hold_;
    FileHandle file_;
    OVERLAPPED at_{};
    bool locked_ = false;
};
