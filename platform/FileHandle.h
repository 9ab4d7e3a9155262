#pragma once

#include <windows.h>

// Owns a kernel handle from CreateFileW, whose "no handle" value is INVALID_HANDLE_VALUE.
// Move-only; Close() reports whether CloseHandle succeeded.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    FileHandle(FileHandle&& other) noexcept : handle_(other.Release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = other.Release();
        }
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { Close(); }

    HANDLE get() const { return handle_; }
    bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Release() {
        HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle;
    }
    bool Close() {
        if (!IsValid()) {
            return true;
        }
        return ::CloseHandle(Release()) != FALSE;
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};
