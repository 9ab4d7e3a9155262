#include "store/FileStore.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>
#include <winioctl.h>

#include "store/SaveSteps.h"
#include "platform/ByteLock.h"
#include "platform/Handles.h"
#include "platform/SystemError.h"
#include "platform/Text.h"

namespace {

// A temporary file, removed again unless it has taken the file's place (Release).
struct TemporaryNameTraits {
    using Handle = std::wstring;
    static Handle Invalid() { return {}; }
    static bool Close(const Handle& path) { return ::DeleteFileW(path.c_str()) != FALSE; }
};
using TemporaryName = UniqueHandle<TemporaryNameTraits>;

// The lock every save takes on the file it names; released as soon as the save is done, not
// whenever the system gets round to it after the handle has closed.
struct SaveLockTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle file) { return UnlockByte(file, kSaveLockOffset); }
};
using SaveLock = UniqueHandle<SaveLockTraits>;

// The system refuses the step for this user or this folder.
constexpr bool IsRefusal(DWORD error) {
    return error == ERROR_ACCESS_DENIED;
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

bool MoveTo(HANDLE file, unsigned long long offset) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != FALSE;
}

// The file's first `limit` bytes, from its start.
bool ReadFrom(HANDLE file, std::size_t limit, std::string& bytes) {
    bytes.assign(std::min(limit, kFirstReadSize), '\0');
    std::size_t filled = 0;
    while (filled < limit) {
        if (filled == bytes.size()) {
            bytes.resize(std::min(limit, bytes.size() * 2));
        }
        DWORD read = 0;
        if ((filled == 0 && !MoveTo(file, 0)) ||
            !::ReadFile(file, bytes.data() + filled, static_cast<DWORD>(bytes.size() - filled),
                        &read, nullptr)) {
            bytes.clear();
            return false;
        }
        if (read == 0) {
            break;
        }
        filled += read;
    }
    bytes.resize(filled);
    return true;
}

struct OpenedFile {
    FileHandle handle;
    BY_HANDLE_FILE_INFORMATION information{};
    DWORD error = 0;   // when not opened: ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND for no file
    std::string cause; // the reason in words when not opened
    FileFault fault = FileFault::kOther;

    FileFailure Failure(const char* verb, const char* name) const {
        return StoreFailure(fault, verb, name, cause);
    }
};

// A name Windows takes for a device: its full path is \\.\COM1, \\.\NUL, but not \\.\C:\...
bool IsDeviceName(const std::wstring& path) {
    const std::wstring full = FullPath(path);
    return full.compare(0, 4, L"\\\\.\\") == 0 && !(full.size() > 5 && full[5] == L':');
}

// Opens an existing regular file, shared as widely as fopen shares and for deletion too, so that
// a save's ReplaceFileW still works meanwhile. A directory or a device name (COM1, NUL, also with
// a folder or an extension) is refused before it is opened, since opening a port acts on it; any
// other device or a pipe before a byte is read.
OpenedFile OpenRegularFile(const std::wstring& path, DWORD access) {
    OpenedFile opened;
    const auto refuse = [&opened](DWORD error, std::string cause,
                                  FileFault fault = FileFault::kOther) {
        opened.handle.Close();
        opened.error = error;
        opened.cause = std::move(cause);
        opened.fault = fault == FileFault::kOther ? FaultOfSystemError(error) : fault;
        return std::move(opened);
    };
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return refuse(ERROR_DIRECTORY, NotARegularFile("a directory"), FileFault::kNotAFile);
    }
    if (IsDeviceName(path)) {
        return refuse(ERROR_BAD_FILE_TYPE, NotARegularFile("a device"), FileFault::kNotAFile);
    }
    opened.handle = FileHandle(
        ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!opened.handle.IsValid()) {
        const DWORD error = ::GetLastError();
        return refuse(error, SystemErrorText(error));
    }
    const DWORD type = ::GetFileType(opened.handle.get());
    if (type != FILE_TYPE_DISK) {
        return refuse(ERROR_BAD_FILE_TYPE,
                      NotARegularFile(type == FILE_TYPE_PIPE ? "a pipe" : "a device"),
                      FileFault::kNotAFile);
    }
    if (!::GetFileInformationByHandle(opened.handle.get(), &opened.information)) {
        const DWORD error = ::GetLastError();
        return refuse(error, SystemErrorText(error));
    }
    return opened;
}

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A symbolic link's reparse point: where it leads (the substitute name) and whether that is
// relative to the link's folder.
struct SymbolicLinkReparseData {
    ULONG ReparseTag;
    USHORT ReparseDataLength;
    USHORT Reserved;
    USHORT SubstituteNameOffset;
    USHORT SubstituteNameLength;
    USHORT PrintNameOffset;
    USHORT PrintNameLength;
    ULONG Flags;
    WCHAR PathBuffer[1];
};
constexpr ULONG kRelativeLink = 1; // SYMLINK_FLAG_RELATIVE

// Where the symbolic link at `path` leads, read from its reparse point: Windows itself follows a
// link only to a file that exists, and a save through a link to no file makes that file. Nothing
// for any other file, or another kind of reparse point (which is the file itself).
std::optional<std::wstring> LinkTarget(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return std::nullopt;
    }
    const FileHandle link(::CreateFileW(
        path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    std::vector<ULONG> buffer(MAXIMUM_REPARSE_DATA_BUFFER_SIZE / sizeof(ULONG));
    const auto* data = reinterpret_cast<const SymbolicLinkReparseData*>(buffer.data());
    const std::size_t header = offsetof(SymbolicLinkReparseData, PathBuffer);
    DWORD size = 0;
    if (!link.IsValid() ||
        !::DeviceIoControl(link.get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.data(),
                           static_cast<DWORD>(buffer.size() * sizeof(ULONG)), &size, nullptr) ||
        size < header || data->ReparseTag != IO_REPARSE_TAG_SYMLINK ||
        header + data->SubstituteNameOffset + data->SubstituteNameLength > size) {
        return std::nullopt;
    }
    std::wstring linked(data->PathBuffer + data->SubstituteNameOffset / sizeof(WCHAR),
                        data->SubstituteNameLength / sizeof(WCHAR));
    if (data->Flags & kRelativeLink) {
        return FullPath(path.substr(0, path.find_last_of(L"\\/") + 1) + linked);
    }
    // An absolute target is an NT path: \??\C:\folder\file or \??\UNC\server\share\file.
    if (linked.compare(0, 4, L"\\??\\") == 0) {
        linked =
            linked.compare(4, 4, L"UNC\\") == 0 ? L"\\\\" + linked.substr(8) : linked.substr(4);
    }
    return linked;
}

// Follows a chain of symbolic links to the file it names, which need not exist yet.
std::optional<std::wstring> FollowLinks(std::wstring path) {
    for (int hops = 0; hops < 63; ++hops) { // Windows' own limit
        std::optional<std::wstring> linked = LinkTarget(path);
        if (!linked) {
            return path;
        }
        path = std::move(*linked);
    }
    ::SetLastError(ERROR_CANT_RESOLVE_FILENAME);
    return std::nullopt;
}

enum class LockTaking { kTaken, kHeld, kStopped, kFailed };

// Waits for the lock every save takes, as `wait` says. Where the file system keeps no locks, the
// save goes ahead unlocked, as saves did before there was a lock. kFailed leaves the last error.
LockTaking LockForSave(HANDLE file, const LockWait& wait, SaveLock& lock) {
    for (int waited = 0;; waited += kSaveLockPollMs) {
        switch (TryLockByte(file, kSaveLockOffset)) {
        case ByteLockOutcome::kTaken:
            lock = SaveLock(file);
            return LockTaking::kTaken;
        case ByteLockOutcome::kNotKept:
            return LockTaking::kTaken;
        case ByteLockOutcome::kFailed:
            return LockTaking::kFailed;
        case ByteLockOutcome::kHeld:
            break;
        }
        if (wait.keepWaiting && !wait.keepWaiting()) {
            return LockTaking::kStopped;
        }
        if (waited >= wait.limitMs) {
            return LockTaking::kHeld;
        }
        ::Sleep(kSaveLockPollMs);
    }
}

bool IsSameFile(const BY_HANDLE_FILE_INFORMATION& one, const BY_HANDLE_FILE_INFORMATION& other) {
    return one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
           one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}

// Opens the file for the change and takes its lock. kReplaced when another save put its new
// file in the place of the one locked here while this one waited: the lock then guards nothing.
Locking OpenAndLock(const char* name, const std::wstring& target, bool reading,
                    const LockWait& wait, OpenedFile& file, SaveLock& lock, FileFailure& failure) {
    // A read-only file is one the user does not want written; not every implementation of the
    // calls below refuses to replace it.
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        failure = StoreFailure(FileFault::kReadOnly, "replace", name, "the file is read-only");
        return Locking::kFailed;
    }
    file = OpenRegularFile(target, GENERIC_WRITE | (reading ? GENERIC_READ : 0));
    if (!file.handle.IsValid()) {
        if (IsMissing(file.error)) {
            return Locking::kMissing;
        }
        const bool unreadable =
            reading &&
            (!IsRefusal(file.error) || !OpenRegularFile(target, GENERIC_READ).handle.IsValid());
        failure =
            unreadable ? ReadFailure(file.Failure("read", name)) : file.Failure("replace", name);
        return Locking::kFailed;
    }
    switch (LockForSave(file.handle.get(), wait, lock)) {
    case LockTaking::kTaken:
        break;
    case LockTaking::kHeld:
        failure = StoreFailure(FileFault::kHeld, "lock", name, kHeldByAnotherProgram);
        return Locking::kFailed;
    case LockTaking::kStopped:
        failure = StoreFailure(FileFault::kStopped, "lock", name,
                               std::string(kHeldByAnotherProgram) + "; stopped waiting");
        return Locking::kFailed;
    case LockTaking::kFailed:
        failure = StoreFailure("lock", name, ::GetLastError());
        return Locking::kFailed;
    }
    const OpenedFile named = OpenRegularFile(target, FILE_READ_ATTRIBUTES);
    if (!named.handle.IsValid() || !IsSameFile(named.information, file.information) ||
        !::GetFileInformationByHandle(file.handle.get(), &file.information)) {
        return Locking::kReplaced;
    }
    return Locking::kLocked;
}

// Numbers that differ between processes and between calls. XP's C run-time has no random
// source, so the process id and the two clocks are mixed (splitmix64); a collision costs a try.
std::uint32_t NextTemporaryNumber() {
    thread_local unsigned long long state = 0;
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    state += 0x9E3779B97F4A7C15ull ^ static_cast<unsigned long long>(counter.QuadPart) ^
             (static_cast<unsigned long long>(::GetCurrentProcessId()) << 32) ^ ::GetTickCount();
    unsigned long long mixed = state;
    mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9ull;
    mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBull;
    return static_cast<std::uint32_t>(mixed ^ (mixed >> 31));
}

// The calls Windows XP has take no path of MAX_PATH units or more, and no name of more than 255.
std::size_t TemporaryNameLimit(const std::string& target) {
    return NameLimitForUtf16Limits(target, MAX_PATH - 1, 255);
}

// Created only where no file of that name exists: the name may be another save's (see
// TemporaryFileName). Not shared while it is written, so no sweeper can delete it meanwhile.
FileHandle CreateTemporaryFile(const std::wstring& target, DWORD attributes,
                               TemporaryName& temporary) {
    const std::string path = Utf8(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring name =
            Wide(TemporaryFileName(path, NextTemporaryNumber(), TemporaryNameLimit(path)));
        FileHandle file(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      attributes, nullptr));
        const DWORD error = ::GetLastError();
        if (file.IsValid()) {
            temporary = TemporaryName(std::move(name));
        }
        if (file.IsValid() || (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)) {
            ::SetLastError(error);
            return file;
        }
    }
    return FileHandle();
}

long long Seconds(const FILETIME& time) {
    constexpr unsigned long long kTicksPerSecond = 10000000;
    return static_cast<long long>(
        ((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime) /
        kTicksPerSecond);
}

// The file system's time of the file's last write.
bool GetWriteTime(HANDLE file, long long& seconds) {
    FILETIME time{};
    if (!::GetFileTime(file, nullptr, nullptr, &time)) {
        return false;
    }
    seconds = Seconds(time);
    return true;
}

// Writes the temporary file whole and to the disk; its modification time goes to `written`.
bool WriteTemporaryFile(FileHandle file, std::string_view bytes, long long& written) {
    const bool ok = WriteAll(file.get(), bytes) && ::FlushFileBuffers(file.get()) &&
                    GetWriteTime(file.get(), written);
    const DWORD error = ::GetLastError();
    const bool closed = file.Close();
    ::SetLastError(error);
    return ok && closed;
}

// Makes the file at `target`, where there is none, and writes it whole and to the disk; kTaken
// when another save made it meanwhile. Half a file is not left: one that cannot be written whole
// goes again.
Creation WriteNewFile(const std::wstring& target, std::string_view bytes, long long& written) {
    FileHandle file(::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? Creation::kTaken
                                                                           : Creation::kFailed;
    }
    if (WriteTemporaryFile(std::move(file), bytes, written)) {
        return Creation::kDone;
    }
    const DWORD error = ::GetLastError();
    ::DeleteFileW(target.c_str());
    ::SetLastError(error);
    return Creation::kFailed;
}

// The old file's attributes that the new one is made with, so that it never shows without them;
// ReplaceFileW merges the rest, and the others are the system's to set.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

using Step = LockedFile::Replacement;

// Wine's ReplaceFileW moves the old file away before the new one takes its name, so that a
// crash between would leave no file, and Wine renames over no file that is held open, as this
// save's lock holds it. Nor does it keep ACLs or streams for ReplaceFileW to carry: there the
// save writes in place.
bool IsWine() {
    static const bool wine =
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

// What "access denied" means for a rename: a move over a file that some program holds open is
// refused so; for ReplaceFileW it is the answer.
enum class Denied { kWhileHeld, kForGood };

// Virus scanners and indexers open a freshly written file for a moment; a rename then fails
// with a sharing error, so it is tried again for about a second before giving up.
template <class Rename> bool RenameRetrying(Rename rename, Denied denied) {
    constexpr int kAttempts = 20;
    constexpr DWORD kPauseMs = 50;
    for (int attempt = 1;; ++attempt) {
        if (rename()) {
            return true;
        }
        const DWORD error = ::GetLastError();
        const bool transient = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                               (denied == Denied::kWhileHeld && error == ERROR_ACCESS_DENIED);
        if (!transient || attempt == kAttempts) {
            return false;
        }
        ::Sleep(kPauseMs);
    }
}

// ReplaceFileW gives the new file what the old one had (its ACL and owner, attributes, alternate
// streams) and, unlike a rename, works while the file is held open, as by this save's own lock.
// kRefused, with nothing left behind, where it cannot: the file is then written in place.
Step ReplaceWithReplaceFile(const char* name, const std::wstring& target, OpenedFile& existing,
                            SaveLock& lock, std::string_view bytes, long long& written,
                            FileFailure& failure) {
    if (existing.information.nNumberOfLinks != 1 || IsWine()) {
        return Step::kRefused;
    }
    const DWORD kept = existing.information.dwFileAttributes & kKeptAttributes;
    TemporaryName temporary;
    FileHandle file = CreateTemporaryFile(target, kept ? kept : FILE_ATTRIBUTE_NORMAL, temporary);
    // Where no new file can be made beside it (a folder that refuses, a full disk or quota, a
    // name too long), the old one, which has its room already, is written in place.
    if (!file.IsValid() || !WriteTemporaryFile(std::move(file), bytes, written)) {
        return Step::kRefused;
    }
    const std::wstring replacement = temporary.get();
    if (RenameRetrying(
            [&] {
                return ::ReplaceFileW(target.c_str(), replacement.c_str(), nullptr, 0, nullptr,
                                      nullptr) != FALSE;
            },
            Denied::kForGood)) {
        temporary.Release();
        return Step::kDone;
    }
    if (::GetLastError() != ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
        return Step::kRefused;
    }
    // The old file is gone and the new one still has the temporary name: once this save's hold
    // on the old one ends, the name is free for it.
    lock.Close();
    existing.handle.Close();
    if (RenameRetrying(
            [&] {
                return ::MoveFileExW(replacement.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) !=
                       FALSE;
            },
            Denied::kWhileHeld)) {
        temporary.Release();
        return Step::kDone;
    }
    // Nor can it take the name: the file is made there anew, with the same contents.
    const DWORD cause = ::GetLastError();
    if (WriteNewFile(target, bytes, written) == Creation::kDone) {
        return Step::kDone;
    }
    // The one message that names a temporary file: it holds the only copy of the values. The
    // file is gone, which no fault of its own says.
    failure =
        StoreFailure(FileFault::kOther, "replace", name,
                     SystemErrorText(cause) + "; the new contents are in " + Utf8(replacement));
    temporary.Release();
    return Step::kFailed;
}

// Over the file itself, which stays all it was. A file that grows gets its new length first, as
// blanks after the old text, so that a full disk leaves it as it was and a crash leaves the old
// values followed by blanks; one that shrinks has the rest of its old text blanked in the same
// write, as far as any reader takes (kStoreReadLimit), so that a crash before it is cut to length
// leaves the new values followed by blanks, nothing of the old ones a reader would see.
bool WriteIntoFile(const char* name, const OpenedFile& file, std::string_view bytes,
                   long long& written, FileFailure& failure) {
    const unsigned long long size =
        (static_cast<unsigned long long>(file.information.nFileSizeHigh) << 32) |
        file.information.nFileSizeLow;
    std::string text(bytes);
    text.resize(std::max<std::size_t>(
                    static_cast<std::size_t>(std::min<unsigned long long>(size, kStoreReadLimit)),
                    bytes.size()),
                ' ');
    const HANDLE handle = file.handle.get();
    const bool ok =
        (text.size() <= size ||
         (MoveTo(handle, size) && WriteAll(handle, std::string(text.size() - size, ' ')))) &&
        MoveTo(handle, 0) && WriteAll(handle, text) && MoveTo(handle, bytes.size()) &&
        ::SetEndOfFile(handle) && ::FlushFileBuffers(handle) && GetWriteTime(handle, written);
    if (!ok) {
        failure = StoreFailure("write", name, ::GetLastError());
    }
    return ok;
}

class Win32LockedFile final : public LockedFile {
public:
    Win32LockedFile(const char* name, const std::wstring& target, OpenedFile file, SaveLock lock)
        : name_(name), target_(target), file_(std::move(file)), lock_(std::move(lock)) {}
    bool Read(std::size_t limit, std::string& bytes, FileFailure& failure) override {
        if (!ReadFrom(file_.handle.get(), limit, bytes)) {
            failure = ReadFailure(StoreFailure("read", name_, ::GetLastError()));
            return false;
        }
        return true;
    }
    Replacement ReplaceWhole(std::string_view bytes, long long& written,
                             FileFailure& failure) override {
        return ReplaceWithReplaceFile(name_, target_, file_, lock_, bytes, written, failure);
    }
    bool WriteInPlace(std::string_view bytes, long long& written, FileFailure& failure) override {
        return WriteIntoFile(name_, file_, bytes, written, failure);
    }

private:
    const char* name_;
    std::wstring target_;
    OpenedFile file_;
    SaveLock lock_; // after the file: released before the handle it locks is closed
};

} // namespace

// The file where there was none. It takes the name only if no other save has made the file
// meanwhile (kTaken): that save's change would be lost. Where no temporary can be made, or it
// cannot take the name, the file is made and written directly.
Creation CreateMissingFile(const char* name, const std::string& path, std::string_view bytes,
                           long long& written, FileFailure& failure) {
    const std::wstring target = Wide(path);
    TemporaryName temporary;
    FileHandle file = CreateTemporaryFile(target, FILE_ATTRIBUTE_NORMAL, temporary);
    if (file.IsValid() && WriteTemporaryFile(std::move(file), bytes, written)) {
        if (RenameRetrying(
                [&] {
                    return ::MoveFileExW(temporary.get().c_str(), target.c_str(),
                                         MOVEFILE_WRITE_THROUGH) != FALSE;
                },
                Denied::kWhileHeld)) {
            temporary.Release();
            return Creation::kDone;
        }
        const DWORD cause = ::GetLastError();
        if (cause == ERROR_ALREADY_EXISTS || cause == ERROR_FILE_EXISTS) {
            return Creation::kTaken;
        }
    }
    temporary.Close();
    const Creation made = WriteNewFile(target, bytes, written);
    if (made == Creation::kFailed) {
        failure = StoreFailure("write", name, ::GetLastError());
    }
    return made;
}

// `now` is the modification time of the file just saved: the file system's clock, which on a
// share is not this machine's. Only files of exactly the temporaries' form are taken, never a
// folder or a link (whose target must stay), and opened so that any link would be the one to go.
void RemoveStaleTemporaryFiles(const std::string& path, long long now) {
    const auto [directory, name] = SplitDirectory(path);
    const std::size_t limit = TemporaryNameLimit(path);
    const std::wstring directoryPrefix = Wide(directory);
    const std::wstring pattern = directoryPrefix + Wide(TemporaryNameStem(name, limit)) +
                                 Wide(kTemporaryMarker) + L"*" + Wide(kTemporarySuffix);
    WIN32_FIND_DATAW found;
    const FindHandle search(::FindFirstFileW(pattern.c_str(), &found));
    if (!search.IsValid()) {
        return;
    }
    do {
        // The pattern also matches short names; the long name decides.
        if (TemporaryFileNumber(Utf8(found.cFileName), name, limit) &&
            !(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
            now - Seconds(found.ftLastWriteTime) > kStaleTemporarySeconds) {
            // Opened for deletion without sharing: a file that some process, a save under way,
            // holds open refuses that, and stays.
            const FileHandle doomed(::CreateFileW(
                (directoryPrefix + found.cFileName).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        }
    } while (::FindNextFileW(search.get(), &found));
}

std::unique_ptr<LockedFile> LockFile(const char* name, const std::string& path, bool reading,
                                     const LockWait& wait, Locking& locking, FileFailure& failure) {
    const std::wstring target = Wide(path);
    OpenedFile file;
    SaveLock lock;
    locking = OpenAndLock(name, target, reading, wait, file, lock, failure);
    if (locking != Locking::kLocked) {
        return nullptr;
    }
    return std::make_unique<Win32LockedFile>(name, target, std::move(file), std::move(lock));
}

ReadOutcome ReadFileContents(const char* path, std::size_t limit, std::string& bytes,
                             FileFailure& failure) {
    const OpenedFile file = OpenRegularFile(Wide(path), GENERIC_READ);
    if (!file.handle.IsValid()) {
        failure = ReadFailure(file.Failure("read", path));
        return IsMissing(file.error) ? ReadOutcome::kMissing : ReadOutcome::kFailed;
    }
    if (!ReadFrom(file.handle.get(), limit, bytes)) {
        failure = ReadFailure(StoreFailure("read", path, ::GetLastError()));
        return ReadOutcome::kFailed;
    }
    return ReadOutcome::kRead;
}

// Wine gives ERROR_ACCESS_DENIED for EACCES, EPERM and EROFS, ERROR_DISK_FULL for ENOSPC and
// ERROR_SHARING_VIOLATION for EAGAIN; a quota (EDQUOT) or the size limit (EFBIG) it does not map,
// and they come as ERROR_GEN_FAILURE, which says nothing.
FileFault FaultOfSystemError(SystemErrorCode code) {
    constexpr SystemErrorCode kDiskQuotaExceeded = 1295; // not in the headers for XP
    switch (code) {
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_FILE_READ_ONLY:
        return FileFault::kReadOnly;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case kDiskQuotaExceeded:
    case ERROR_NOT_ENOUGH_QUOTA: // a share's quota
    case ERROR_FILE_TOO_LARGE:
        return FileFault::kNoRoom;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE: // mapped by another program, which a write may not cut
    case ERROR_DRIVE_LOCKED:
        return FileFault::kHeld;
    case ERROR_DIRECTORY:
    case ERROR_BAD_FILE_TYPE:
        return FileFault::kNotAFile;
    default:
        return FileFault::kOther;
    }
}

std::optional<std::string> FileBehindLinks(const char* name, bool reading, FileFailure& failure) {
    if (!*name) {
        failure = {FileFault::kOther, "cannot write a file without a name", {}};
        return std::nullopt;
    }
    const std::optional<std::wstring> target = FollowLinks(FullPath(Wide(name)));
    if (!target) {
        failure = StoreFailure(reading ? "read" : "replace", name, ::GetLastError());
        return std::nullopt;
    }
    return Utf8(*target);
}
