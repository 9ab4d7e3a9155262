#include "store/SystemFileSystem.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <random>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "store/FileNames.h"
#include "store/PosixErrors.h"

static_assert(sizeof(off_t) >= 8, "the save lock lies beyond 32-bit offsets");

namespace {

int Fd(FileRef file) {
    return static_cast<int>(file);
}

SystemErrorCode ErrorUnless(bool done) {
    return done ? 0 : errno;
}

FileSystem::Info InfoOf(const struct stat& status) {
    FileSystem::Info info;
    info.stamp = {static_cast<std::uint64_t>(status.st_dev),
                  static_cast<std::uint64_t>(status.st_ino),
                  static_cast<std::uint64_t>(status.st_size), status.st_mtim.tv_sec,
                  static_cast<std::int32_t>(status.st_mtim.tv_nsec)};
    info.links = static_cast<std::uint32_t>(status.st_nlink);
    // Without any write permission the file is not to be changed, also by root (as on Windows).
    info.readOnly = (status.st_mode & 0222) == 0;
    return info;
}

// One read or write, made again when a signal cut it short before it moved a byte.
template <class Call> SystemErrorCode Transfer(Call call, std::size_t& done) {
    ssize_t n = 0;
    do {
        n = call();
    } while (n < 0 && errno == EINTR);
    done = n > 0 ? static_cast<std::size_t>(n) : 0;
    return ErrorUnless(n >= 0);
}

const char* KindOf(mode_t mode) {
    return S_ISDIR(mode)    ? "a directory"
           : S_ISFIFO(mode) ? "a FIFO"
           : S_ISSOCK(mode) ? "a socket"
           : S_ISCHR(mode)  ? "a character device"
           : S_ISBLK(mode)  ? "a block device"
                            : "a special file";
}

// A file opened in vain, where a later step failed, is closed again.
FileSystem::Opened Kept(FileSystem::Opened opened) {
    if ((opened.error || opened.notRegular) && opened.file != kNoFile) {
        ::close(Fd(opened.file));
        opened.file = kNoFile;
    }
    return opened;
}

std::string FolderOf(const std::string& path) {
    const std::string folder(SplitDirectory(path).first);
    return folder.empty() ? "." : folder;
}

// Gives the new file the owner, group and mode of `like`, where the saver may: root any owner,
// the owner a group it belongs to. The owner first: a change of owner clears the set-id bits.
SystemErrorCode TakeOwnerAndMode(int fd, int like) {
    struct stat existing {};
    return ErrorUnless(::fstat(like, &existing) == 0 &&
                       ::fchown(fd, existing.st_uid, existing.st_gid) == 0 &&
                       ::fchmod(fd, existing.st_mode & 07777) == 0);
}

// Makes a name given in the folder of `path` durable; nothing when it is not.
SystemErrorCode Durable(const std::string& path, bool named) {
    const int folder =
        named ? ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return ErrorUnless(named);
}

} // namespace

// Refused unless regular, before and after the open: opening a FIFO waits for a writer, a serial
// port for its carrier, and some devices act on being opened. Without waiting, a file under
// another program's lease (a file server's) is refused.
FileSystem::Opened SystemFileSystem::Open(const std::string& path, Access access) {
    constexpr int kFlags[] = {O_PATH, O_RDONLY, O_WRONLY, O_RDWR};
    Opened opened;
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        opened.error = errno;
        return opened;
    }
    if (S_ISREG(status.st_mode)) {
        opened.file = ::open(path.c_str(),
                             kFlags[static_cast<int>(access)] | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        opened.error =
            ErrorUnless(opened.file != kNoFile && ::fstat(Fd(opened.file), &status) == 0);
    }
    if (!opened.error && !S_ISREG(status.st_mode)) {
        opened.notRegular = KindOf(status.st_mode);
    }
    opened.info = InfoOf(status);
    return Kept(opened);
}

// 0666 less the umask, as fopen would give a new file. Its lock tells the sweeps of this machine,
// and of others where the file system passes locks on, that a save is under way in it.
FileSystem::Opened SystemFileSystem::Create(const std::string& path, FileRef like) {
    Opened made;
    made.file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    made.error = ErrorUnless(made.file != kNoFile);
    if (made.file != kNoFile) {
        ::flock(Fd(made.file), LOCK_EX);
        made.error = like == kNoFile ? 0 : TakeOwnerAndMode(Fd(made.file), Fd(like));
    }
    if (made.error && made.file != kNoFile) {
        ::unlink(path.c_str());
    }
    return Kept(made);
}

// Refused unless regular, before the open and after, as Open refuses; made when missing. Not
// blocking on the open: a FIFO made in between is refused, not waited on. Read access too, so
// that the record's last line can be read; a file that may not be read is opened to write alone,
// and the record (store/RecordFile.cpp) refuses it, saying why.
FileSystem::Opened SystemFileSystem::OpenToAppend(const std::string& path) {
    Opened opened;
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        opened.notRegular = KindOf(status.st_mode);
        return opened;
    }
    for (const int access : {O_RDWR, O_WRONLY}) {
        opened.file = ::open(path.c_str(),
                             access | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
        if (opened.file != kNoFile || errno != EACCES) {
            break;
        }
    }
    const int flags = opened.file == kNoFile ? -1 : ::fcntl(Fd(opened.file), F_GETFL);
    opened.error =
        ErrorUnless(flags != -1 && ::fcntl(Fd(opened.file), F_SETFL, flags & ~O_NONBLOCK) != -1 &&
                    ::fstat(Fd(opened.file), &status) == 0);
    if (!opened.error && !S_ISREG(status.st_mode)) {
        opened.notRegular = KindOf(status.st_mode);
    }
    opened.info = InfoOf(status);
    return Kept(opened);
}

SystemErrorCode SystemFileSystem::Close(FileRef file) {
    return ErrorUnless(::close(Fd(file)) == 0);
}

SystemErrorCode SystemFileSystem::Describe(FileRef file, Info& info) {
    struct stat status {};
    if (::fstat(Fd(file), &status) != 0) {
        return errno;
    }
    info = InfoOf(status);
    return 0;
}

SystemErrorCode SystemFileSystem::ReadAt(FileRef file, std::uint64_t offset, char* bytes,
                                         std::size_t size, std::size_t& read) {
    return Transfer([&] { return ::pread(Fd(file), bytes, size, static_cast<off_t>(offset)); },
                    read);
}

SystemErrorCode SystemFileSystem::WriteAt(FileRef file, std::uint64_t offset,
                                          std::string_view bytes, std::size_t& written) {
    return Transfer(
        [&] {
            return offset == kAtEnd
                       ? ::write(Fd(file), bytes.data(), bytes.size())
                       : ::pwrite(Fd(file), bytes.data(), bytes.size(), static_cast<off_t>(offset));
        },
        written);
}

SystemErrorCode SystemFileSystem::SetLength(FileRef file, std::uint64_t length) {
    return ErrorUnless(::ftruncate(Fd(file), static_cast<off_t>(length)) == 0);
}

SystemErrorCode SystemFileSystem::Sync(FileRef file) {
    return ErrorUnless(::fsync(Fd(file)) == 0);
}

ByteLockOutcome SystemFileSystem::TryLockByte(FileRef file, std::uint64_t offset,
                                              SystemErrorCode& error) {
    const ByteLockOutcome outcome = ::TryLockByte(Fd(file), offset);
    error = errno;
    return outcome;
}

void SystemFileSystem::UnlockByte(FileRef file, std::uint64_t offset) {
    ::UnlockByte(Fd(file), offset);
}

// An ACL or other extended attributes, which a new file would not carry, keep the file: the
// system's own labels (security.*) come with the folder.
bool SystemFileSystem::CanReplaceWhole(FileRef file) {
    char names[4096];
    const ssize_t length = ::flistxattr(Fd(file), names, sizeof names);
    if (length < 0) {
        return errno != ERANGE; // more of them than fit
    }
    for (std::size_t at = 0; at < static_cast<std::size_t>(length);
         at += std::strlen(names + at) + 1) {
        if (std::strncmp(names + at, "security.", 9) != 0) {
            return false;
        }
    }
    return true;
}

// Past this process's file-size limit a write fails with EFBIG where SIGXFSZ is ignored, and ends
// the process where it is not: the store looks first, so that no write of it is cut short.
SystemErrorCode SystemFileSystem::RoomFor(std::uint64_t size) {
    rlimit limit{};
    return ::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
                   size <= limit.rlim_cur
               ? 0
               : EFBIG;
}

SystemErrorCode SystemFileSystem::ReplaceName(const std::string& replacement,
                                              const std::string& target) {
    return Durable(target, ::rename(replacement.c_str(), target.c_str()) == 0);
}

// A hard link takes only a free name. A file system without them (FAT, some shares) has only the
// rename, which would replace a file made meanwhile.
SystemErrorCode SystemFileSystem::TakeNewName(const std::string& file, const std::string& target) {
    if (::link(file.c_str(), target.c_str()) == 0) {
        ::unlink(file.c_str());
        return Durable(target, true);
    }
    const int error = errno;
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS
               ? Durable(target, ::rename(file.c_str(), target.c_str()) == 0)
               : error;
}

SystemErrorCode SystemFileSystem::Remove(const std::string& path) {
    return ErrorUnless(::unlink(path.c_str()) == 0);
}

SystemErrorCode SystemFileSystem::FollowLinks(const std::string& name, std::string& target) {
    target = name;
    for (int hops = 0; hops < 40; ++hops) { // the kernel's own limit
        char link[PATH_MAX];
        const ssize_t length = ::readlink(target.c_str(), link, sizeof link);
        if (length < 0) {
            return 0; // not a link, or nothing there: the steps after it tell what is wrong
        }
        if (static_cast<std::size_t>(length) == sizeof link) {
            return ENAMETOOLONG;
        }
        const std::string_view linked(link, static_cast<std::size_t>(length));
        target = linked[0] == '/' ? std::string(linked)
                                  : std::string(SplitDirectory(target).first) + std::string(linked);
    }
    return ELOOP;
}

// Error codes rather than exceptions: the save has succeeded, whatever the walk meets. Each entry
// is looked at, not followed.
std::vector<FileSystem::Entry> SystemFileSystem::List(const std::string& folder,
                                                      std::string_view prefix) {
    std::vector<Entry> entries;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder.empty() ? "." : folder, error), end;
         !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        struct stat status {};
        if (name.compare(0, prefix.size(), prefix) == 0 &&
            ::lstat((folder + name).c_str(), &status) == 0) {
            entries.push_back({name, InfoOf(status).stamp, S_ISREG(status.st_mode)});
        }
    }
    return entries;
}

// Opened without waiting or following a link. A file system without locks leaves the age alone
// to decide.
void SystemFileSystem::RemoveUnlessHeld(const std::string& path, const Entry& entry) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    struct stat opened {};
    if (fd >= 0 && ::fstat(fd, &opened) == 0 && InfoOf(opened).stamp.SameFile(entry.stamp) &&
        !(::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)) {
        ::unlink(path.c_str());
    }
    if (fd >= 0) {
        ::close(fd);
    }
}

std::size_t SystemFileSystem::NameLimit(const std::string& path) {
    const long nameMax = ::pathconf(FolderOf(path).c_str(), _PC_NAME_MAX);
    return nameMax > 0 ? static_cast<std::size_t>(nameMax) : kNoNameLimit;
}

std::uint64_t SystemFileSystem::Seed() {
    std::random_device source;
    return static_cast<std::uint64_t>(source()) << 32 | source();
}

ErrorMeaning SystemFileSystem::Meaning(SystemErrorCode error) const {
    return PosixErrorMeaning(error);
}
