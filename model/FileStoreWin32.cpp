#include "model/FileStore.h"

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

} // namespace

bool ReplaceFileContents(const char* name, std::string_view bytes) {
    const std::wstring target = Widen(name);
    wchar_t temporary[MAX_PATH];
    if (target.empty() || IsReadOnly(target) || !::GetTempFileNameW(L".", L"~ip", 0, temporary)) {
        return false;
    }
    FileHandle file(::CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    const bool written =
        file.IsValid() && WriteAll(file.get(), bytes) && ::FlushFileBuffers(file.get());
    if (!file.Close() || !written || !MoveReplacing(temporary, target)) {
        ::DeleteFileW(temporary);
        return false;
    }
    return true;
}
