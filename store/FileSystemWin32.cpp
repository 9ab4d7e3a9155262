#include "store/SystemFileSystem.h"

#include <vector>

#include <windows.h>
#include <winioctl.h>

#include "platform/Text.h"
#include "store/FileNames.h"
#include "store/ReparsePoint.h"
#include "store/WindowsErrors.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The old file's attributes that the new one is made with, so that it never shows without them;
// ReplaceFileW merges the rest, and the others are the system's to set.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

HANDLE Handle(FileRef file) {
    return reinterpret_cast<HANDLE>(file);
}

SystemErrorCode ErrorUnless(bool done) {
    return done ? 0 : ::GetLastError();
}

std::uint64_t Join(DWORD high, DWORD low) {
    return static_cast<std::uint64_t>(high) << 32 | low;
}

// Times in 100 ns ticks since 1601.
FileStamp MakeStamp(DWORD volume, std::uint64_t index, std::uint64_t size, const FILETIME& time) {
    const std::uint64_t ticks = Join(time.dwHighDateTime, time.dwLowDateTime);
    return {volume, index, size, static_cast<std::int64_t>(ticks / 10000000),
            static_cast<std::int32_t>(ticks % 10000000 * 100)};
}

bool MoveTo(HANDLE file, std::uint64_t offset) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != FALSE;
}

SystemErrorCode DescribeHandle(HANDLE file, FileSystem::Info& info) {
    BY_HANDLE_FILE_INFORMATION about{};
    if (!::GetFileInformationByHandle(file, &about)) {
        return ::GetLastError();
    }
    info.stamp =
        MakeStamp(about.dwVolumeSerialNumber, Join(about.nFileIndexHigh, about.nFileIndexLow),
                  Join(about.nFileSizeHigh, about.nFileSizeLow), about.ftLastWriteTime);
    info.links = about.nNumberOfLinks;
    info.readOnly = (about.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    return 0;
}

// A name Windows takes for a device: its full path is \\.\COM1, \\.\NUL, but not \\.\C:\...
bool IsDeviceName(const std::wstring& path) {
    const std::wstring full = FullPath(path);
    return full.compare(0, 4, L"\\\\.\\") == 0 && !(full.size() > 5 && full[5] == L':');
}

FileSystem::Opened OpenedOf(HANDLE file) {
    FileSystem::Opened opened;
    opened.file = reinterpret_cast<FileRef>(file);
    opened.error = ErrorUnless(file != INVALID_HANDLE_VALUE);
    return opened;
}

// Where the symbolic link at `path` leads, read from its reparse point: Windows itself follows a
// link only to a file that exists, and a save through a link to no file makes that file.
std::optional<std::wstring> LinkTarget(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return std::nullopt;
    }
    const FileHandle link(::CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
    std::vector<unsigned char> data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD size = 0;
    if (!link.IsValid() ||
        !::DeviceIoControl(link.get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(),
                           static_cast<DWORD>(data.size()), &size, nullptr)) {
        return std::nullopt;
    }
    const std::optional<LinkReading> reading =
        ReadSymbolicLink(data.data(), size, std::u16string(path.begin(), path.end()));
    if (!reading) {
        return std::nullopt;
    }
    const std::wstring target(reading->target.begin(), reading->target.end());
    return reading->relative ? FullPath(target) : target;
}

// A directory or a device name (COM1, NUL, also with a folder or an extension), refused before it
// is opened, since opening a port acts on it; nothing when it is neither.
const char* NotAFileByName(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return "a directory";
    }
    return IsDeviceName(path) ? "a device" : nullptr;
}

// Any other device or a pipe is refused once opened, before a byte is read or written.
FileSystem::Opened Checked(FileSystem::Opened opened) {
    if (opened.file == kNoFile) {
        return opened;
    }
    const DWORD type = ::GetFileType(Handle(opened.file));
    opened.notRegular = type == FILE_TYPE_DISK   ? nullptr
                        : type == FILE_TYPE_PIPE ? "a pipe"
                                                 : "a device";
    opened.error = opened.notRegular ? 0 : DescribeHandle(Handle(opened.file), opened.info);
    if (opened.notRegular || opened.error) {
        ::CloseHandle(Handle(opened.file));
        opened.file = kNoFile;
    }
    return opened;
}

} // namespace

FileSystem::Opened SystemFileSystem::Open(const std::string& name, Access access) {
    constexpr DWORD kAccess[] = {FILE_READ_ATTRIBUTES, GENERIC_READ, GENERIC_WRITE,
                                 GENERIC_READ | GENERIC_WRITE};
    const std::wstring path = Wide(name);
    Opened opened;
    if ((opened.notRegular = NotAFileByName(path))) {
        return opened;
    }
    return Checked(
        OpenedOf(::CreateFileW(path.c_str(), kAccess[static_cast<int>(access)], kShareAll, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
}

// Not shared while it is written, so no sweep can delete it meanwhile.
FileSystem::Opened SystemFileSystem::Create(const std::string& path, FileRef like) {
    BY_HANDLE_FILE_INFORMATION about{};
    const DWORD kept = like != kNoFile && ::GetFileInformationByHandle(Handle(like), &about)
                           ? about.dwFileAttributes & kKeptAttributes
                           : 0;
    return OpenedOf(::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  kept ? kept : FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Append access: every write then goes to the end of the file as it is at that moment, whoever
// else appends, where the C run-time's append mode seeks first and writes after. Read access
// too, without which the system refuses the lock and the last line cannot be read; a file that
// may not be read is opened to append alone, and the record (store/RecordFile.cpp) refuses it,
// saying why. Refused unless a file on a disk, as Open refuses.
// Without write access Windows sets no length: a line cut short is then ended, not taken back.
FileSystem::Opened SystemFileSystem::OpenToAppend(const std::string& name) {
    const std::wstring path = Wide(name);
    Opened opened;
    if ((opened.notRegular = NotAFileByName(path))) {
        return opened;
    }
    constexpr DWORD kAppend = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES;
    for (const DWORD access : {kAppend | FILE_READ_DATA, kAppend}) {
        opened = OpenedOf(::CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (opened.error != ERROR_ACCESS_DENIED) {
            break;
        }
    }
    return Checked(opened);
}

SystemErrorCode SystemFileSystem::Close(FileRef file) {
    return ErrorUnless(::CloseHandle(Handle(file)));
}

SystemErrorCode SystemFileSystem::Describe(FileRef file, Info& info) {
    return DescribeHandle(Handle(file), info);
}

SystemErrorCode SystemFileSystem::ReadAt(FileRef file, std::uint64_t offset, char* bytes,
                                         std::size_t size, std::size_t& read) {
    DWORD done = 0;
    const bool ok = MoveTo(Handle(file), offset) &&
                    ::ReadFile(Handle(file), bytes, static_cast<DWORD>(size), &done, nullptr);
    read = done;
    return ErrorUnless(ok);
}

SystemErrorCode SystemFileSystem::WriteAt(FileRef file, std::uint64_t offset,
                                          std::string_view bytes, std::size_t& written) {
    DWORD done = 0;
    const bool ok =
        (offset == kAtEnd || MoveTo(Handle(file), offset)) &&
        ::WriteFile(Handle(file), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    written = done;
    return ErrorUnless(ok);
}

SystemErrorCode SystemFileSystem::SetLength(FileRef file, std::uint64_t length) {
    return ErrorUnless(MoveTo(Handle(file), length) && ::SetEndOfFile(Handle(file)));
}

SystemErrorCode SystemFileSystem::Sync(FileRef file) {
    return ErrorUnless(::FlushFileBuffers(Handle(file)));
}

ByteLockOutcome SystemFileSystem::TryLockByte(FileRef file, std::uint64_t offset,
                                              SystemErrorCode& error) {
    const ByteLockOutcome outcome = ::TryLockByte(Handle(file), offset);
    error = ::GetLastError();
    return outcome;
}

// Released as soon as the save is done, not whenever the system gets round to it after the
// handle has closed.
void SystemFileSystem::UnlockByte(FileRef file, std::uint64_t offset) {
    ::UnlockByte(Handle(file), offset);
}

// ReplaceFileW gives the new file what the old one had (its ACL and owner, attributes, alternate
// streams) and, unlike a rename, works while the file is held open, as by this save's own lock.
// Wine's moves the old file away before the new one takes its name, so that a crash between would
// leave no file, and Wine renames over no file that is held open, as this save's lock holds it.
// Nor does it keep ACLs or streams for ReplaceFileW to carry.
bool SystemFileSystem::CanReplaceWhole(FileRef) {
    static const bool wine =
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return !wine;
}

SystemErrorCode SystemFileSystem::RoomFor(std::uint64_t) {
    return 0;
}

SystemErrorCode SystemFileSystem::ReplaceName(const std::string& replacement,
                                              const std::string& target) {
    return ErrorUnless(::ReplaceFileW(Wide(target).c_str(), Wide(replacement).c_str(), nullptr, 0,
                                      nullptr, nullptr));
}

SystemErrorCode SystemFileSystem::TakeNewName(const std::string& file, const std::string& target) {
    return ErrorUnless(
        ::MoveFileExW(Wide(file).c_str(), Wide(target).c_str(), MOVEFILE_WRITE_THROUGH));
}

SystemErrorCode SystemFileSystem::Remove(const std::string& path) {
    return ErrorUnless(::DeleteFileW(Wide(path).c_str()));
}

SystemErrorCode SystemFileSystem::FollowLinks(const std::string& name, std::string& target) {
    std::wstring path = FullPath(Wide(name));
    for (int hops = 0; hops < 63; ++hops) { // Windows' own limit
        std::optional<std::wstring> linked = LinkTarget(path);
        if (!linked) {
            target = Utf8(path);
            return 0;
        }
        path = std::move(*linked);
    }
    return ERROR_CANT_RESOLVE_FILENAME;
}

// The pattern also matches short names; the store goes by the long name.
std::vector<FileSystem::Entry> SystemFileSystem::List(const std::string& folder,
                                                      std::string_view prefix) {
    std::vector<Entry> entries;
    WIN32_FIND_DATAW found;
    const FindHandle search(::FindFirstFileW((Wide(folder) + Wide(prefix) + L"*").c_str(), &found));
    for (bool more = search.IsValid(); more; more = ::FindNextFileW(search.get(), &found)) {
        entries.push_back(
            {Utf8(found.cFileName),
             MakeStamp(0, 0, Join(found.nFileSizeHigh, found.nFileSizeLow), found.ftLastWriteTime),
             !(found.dwFileAttributes &
               (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))});
    }
    return entries;
}

// Opened for deletion without sharing, so that any link would be the one to go: a file that some
// process, a save under way, holds open refuses that, and stays.
void SystemFileSystem::RemoveUnlessHeld(const std::string& path, const Entry&) {
    const FileHandle doomed(::CreateFileW(Wide(path).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
                                          nullptr));
}

// The calls Windows XP has take no path of MAX_PATH units or more, and no name of more than 255.
std::size_t SystemFileSystem::NameLimit(const std::string& path) {
    return NameLimitForUtf16Limits(path, MAX_PATH - 1, 255);
}

// XP's C run-time has no random source: the clocks and the process id differ between calls and
// between processes.
std::uint64_t SystemFileSystem::Seed() {
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    return static_cast<std::uint64_t>(counter.QuadPart) ^
           static_cast<std::uint64_t>(::GetCurrentProcessId()) << 32 ^ ::GetTickCount();
}

ErrorMeaning SystemFileSystem::Meaning(SystemErrorCode error) const {
    return WindowsErrorMeaning(error);
}
