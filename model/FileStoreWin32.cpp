#include "model/FileStore.h"

#include <optional>
#include <string>

#include "platform/Handles.h"
#include "platform/SystemError.h"
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
constexpr bool IsReadOnly(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

// What the new file takes over from the old one; the others are the system's to set.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The file a symbolic link names, where the system can tell (Vista and later, looked up when
// the program runs; XP has no links to files); otherwise the name itself.
std::wstring FollowLink(const std::wstring& name) {
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return name;
    }
    using GetFinalPathFn = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
    const FARPROC proc =
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetFinalPathNameByHandleW");
    const FileHandle file(
        ::CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!proc || !file.IsValid()) {
        return name;
    }
    const auto getFinalPath = reinterpret_cast<GetFinalPathFn>(reinterpret_cast<void (*)()>(proc));
    std::wstring path(32768, L'\0'); // the longest path there is
    const DWORD length = getFinalPath(file.get(), path.data(), static_cast<DWORD>(path.size()), 0);
    if (length == 0 || length >= path.size()) {
        return name;
    }
    path.resize(length);
    return path;
}

// Numbers that differ between processes and between calls. XP's C run-time has no random
// source, so the process id and the two clocks are mixed (splitmix64); a collision costs a try.
unsigned long NextTemporaryNumber() {
    thread_local unsigned long long state = 0;
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    state += 0x9E3779B97F4A7C15ull ^ static_cast<unsigned long long>(counter.QuadPart) ^
             (static_cast<unsigned long long>(::GetCurrentProcessId()) << 32) ^ ::GetTickCount();
    unsigned long long mixed = state;
    mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9ull;
    mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBull;
    return static_cast<unsigned long>((mixed ^ (mixed >> 31)) & 0xFFFFFFFFull);
}

// Created only where no file of that name exists: the name may be another save's (see
// TemporaryFileName). Not shared while it is written, so no sweeper can delete it meanwhile.
FileHandle CreateTemporaryFile(const std::string& target, DWORD attributes,
                               std::string& temporary) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = TemporaryFileName(target, NextTemporaryNumber());
        FileHandle file(::CreateFileW(Wide(temporary).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, attributes, nullptr));
        const DWORD error = ::GetLastError();
        if (file.IsValid() || (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)) {
            ::SetLastError(error);
            return file;
        }
    }
    return FileHandle();
}

unsigned long long Ticks(const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// `now` is the modification time of the file just saved: the file system's clock, which on a
// share is not this machine's.
void RemoveStaleTemporaryFiles(const std::string& path, const FILETIME& now) {
    constexpr unsigned long long kTicksPerSecond = 10000000;
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
        if (TemporaryFileNumber(Utf8(found.cFileName), name) &&
            !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            Ticks(found.ftLastWriteTime) + kStaleTemporarySeconds * kTicksPerSecond < Ticks(now)) {
            // Opened for deletion without sharing: a file that some process, a save under way,
            // holds open refuses that, and stays.
            const FileHandle doomed(::CreateFileW((directoryPrefix + found.cFileName).c_str(),
                                                  DELETE, 0, nullptr, OPEN_EXISTING,
                                                  FILE_FLAG_DELETE_ON_CLOSE, nullptr));
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
    if (!*name) {
        error = "cannot write a file without a name";
        return false;
    }
    const std::wstring target = FollowLink(Wide(name));
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (IsReadOnly(attributes)) {
        error = std::string("cannot replace ") + name + ": the file is read-only";
        return false;
    }
    const DWORD kept = attributes == INVALID_FILE_ATTRIBUTES ? 0 : attributes & kKeptAttributes;
    std::string temporaryName;
    FileHandle file =
        CreateTemporaryFile(Utf8(target), kept ? kept : FILE_ATTRIBUTE_NORMAL, temporaryName);
    if (!file.IsValid()) {
        error = "cannot create " + temporaryName + ": " + SystemErrorText(::GetLastError());
        return false;
    }
    const std::wstring temporary = Wide(temporaryName);
    FILETIME written{};
    const bool ok = WriteAll(file.get(), bytes) && ::FlushFileBuffers(file.get()) &&
                    ::GetFileTime(file.get(), nullptr, nullptr, &written);
    if (!ok || !file.Close()) {
        error = "cannot write " + temporaryName + ": " + SystemErrorText(::GetLastError());
        ::DeleteFileW(temporary.c_str());
        return false;
    }
    if (!MoveReplacing(temporary, target)) {
        error = std::string("cannot replace ") + name + ": " + SystemErrorText(::GetLastError());
        ::DeleteFileW(temporary.c_str());
        return false;
    }
    RemoveStaleTemporaryFiles(Utf8(target), written);
    return true;
}
