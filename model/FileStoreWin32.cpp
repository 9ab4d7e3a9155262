#include "model/FileStore.h"

#include <optional>
#include <string>

#include "platform/FileHandle.h"

namespace {

std::wstring Widen(const char* text) {
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

std::string Narrow(const wchar_t* text) {
    const int length = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return {};
    }
    std::string narrow(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, -1, narrow.data(), length, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(length - 1));
    return narrow;
}

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

// Virus scanners and indexers open a freshly written file for a moment; the rename then fails
// with a sharing error, so it is tried again for about a second before giving up.
bool MoveReplacing(const std::wstring& from, const std::wstring& to) {
    constexpr int kAttempts = 20;
    constexpr DWORD kPauseMs = 50;
    for (int attempt = 1;; ++attempt) {
        if (::MoveFileExW(from.c_str(), to.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        const DWORD error = ::GetLastError();
        const bool transient = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                               error == ERROR_ACCESS_DENIED;
        if (!transient || attempt == kAttempts) {
            return false;
        }
        ::Sleep(kPauseMs);
    }
}

// A read-only file is one the user does not want written. Windows refuses to rename over it
// anyway, but not every implementation of the call does, so this is checked first.
bool IsReadOnly(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

// An id that names no process, or names one that has ended, is not running.
bool IsRunning(DWORD processId) {
    const HANDLE opened = ::OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (!opened) {
        return ::GetLastError() != ERROR_INVALID_PARAMETER;
    }
    const FileHandle process(opened);
    return ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

void RemoveStaleTemporaryFiles(const char* path) {
    const auto [directory, name] = SplitDirectory(path);
    const std::wstring directoryPrefix = Widen(std::string(directory).c_str());
    const std::wstring pattern = Widen(path) + L".*.tmp";
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        // The pattern also matches short names; the long name decides.
        const std::optional<unsigned long> owner =
            TemporaryFileOwner(Narrow(found.cFileName), name);
        if (owner && !IsRunning(*owner)) {
            ::DeleteFileW((directoryPrefix + found.cFileName).c_str());
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

} // namespace

bool ReplaceFileContents(const char* name, std::string_view bytes) {
    const std::wstring target = Widen(name);
    const std::wstring temporary = Widen(TemporaryFileName(name, ::GetCurrentProcessId()).c_str());
    if (target.empty() || IsReadOnly(target)) {
        return false;
    }
    // A file of that name is one this process id left in an earlier life: it is overwritten.
    FileHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    const bool written =
        file.IsValid() && WriteAll(file.get(), bytes) && ::FlushFileBuffers(file.get());
    if (!file.Close() || !written || !MoveReplacing(temporary, target)) {
        ::DeleteFileW(temporary.c_str());
        return false;
    }
    RemoveStaleTemporaryFiles(name);
    return true;
}
