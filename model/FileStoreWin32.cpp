#include "model/FileStore.h"

#include <optional>
#include <string>

#include "platform/Handles.h"
#include "platform/Text.h"

namespace {

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
    const KernelHandle process(::OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (!process.IsValid()) {
        return ::GetLastError() != ERROR_INVALID_PARAMETER;
    }
    return ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

void RemoveStaleTemporaryFiles(const char* path) {
    const auto [directory, name] = SplitDirectory(path);
    const std::wstring directoryPrefix = Wide(directory);
    const std::wstring pattern = Wide(path) + L".*.tmp";
    WIN32_FIND_DATAW found;
    const FindHandle search(::FindFirstFileW(pattern.c_str(), &found));
    if (!search.IsValid()) {
        return;
    }
    do {
        // The pattern also matches short names; the long name decides.
        const std::optional<unsigned long> owner = TemporaryFileOwner(Utf8(found.cFileName), name);
        if (owner && !IsRunning(*owner)) {
            ::DeleteFileW((directoryPrefix + found.cFileName).c_str());
        }
    } while (::FindNextFileW(search.get(), &found));
}

} // namespace

ReadOutcome ReadFileContents(const char* path, std::size_t limit, std::string& bytes,
                             std::string& error) {
    // Shared as fopen shares: another program may read or write the file meanwhile.
    const FileHandle file(::CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        const DWORD reason = ::GetLastError();
        error = std::string("cannot read ") + path + ": " + SystemErrorText(reason);
        return reason == ERROR_FILE_NOT_FOUND || reason == ERROR_PATH_NOT_FOUND
                   ? ReadOutcome::kMissing
                   : ReadOutcome::kFailed;
    }
    bytes.assign(limit, '\0');
    std::size_t filled = 0;
    while (filled < limit) {
        DWORD read = 0;
        if (!::ReadFile(file.get(), bytes.data() + filled, static_cast<DWORD>(limit - filled),
                        &read, nullptr)) {
            error = std::string("cannot read ") + path + ": " + SystemErrorText(::GetLastError());
            bytes.clear();
            return ReadOutcome::kFailed;
        }
        if (read == 0) {
            break;
        }
        filled += read;
    }
    bytes.resize(filled);
    return ReadOutcome::kRead;
}

bool ReplaceFileContents(const char* name, std::string_view bytes, std::string& error) {
    const std::wstring target = Wide(name);
    const std::string temporaryName = TemporaryFileName(name, ::GetCurrentProcessId());
    const std::wstring temporary = Wide(temporaryName);
    if (target.empty()) {
        error = "cannot write a file without a name";
        return false;
    }
    if (IsReadOnly(target)) {
        error = std::string("cannot replace ") + name + ": the file is read-only";
        return false;
    }
    // A file of that name is one this process id left in an earlier life: it is overwritten.
    FileHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        error = "cannot create " + temporaryName + ": " + SystemErrorText(::GetLastError());
        return false;
    }
    const bool written = WriteAll(file.get(), bytes) && ::FlushFileBuffers(file.get());
    if (!written || !file.Close()) {
        error = "cannot write " + temporaryName + ": " + SystemErrorText(::GetLastError());
        ::DeleteFileW(temporary.c_str());
        return false;
    }
    if (!MoveReplacing(temporary, target)) {
        error = std::string("cannot replace ") + name + ": " + SystemErrorText(::GetLastError());
        ::DeleteFileW(temporary.c_str());
        return false;
    }
    RemoveStaleTemporaryFiles(name);
    return true;
}
