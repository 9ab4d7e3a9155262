#include "store/FileStore.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "store/SaveSteps.h"
#include "platform/ByteLock.h"
#include "platform/Handles.h"
#include "platform/SystemError.h"

static_assert(sizeof(off_t) >= 8, "the save lock lies beyond 32-bit offsets");

namespace {

// A temporary file, removed again unless it has taken the file's place (Release).
struct TemporaryNameTraits {
    using Handle = std::string;
    static Handle Invalid() { return {}; }
    static bool Close(const Handle& path) { return ::unlink(path.c_str()) == 0; }
};
using TemporaryName = UniqueHandle<TemporaryNameTraits>;

const char* FileKind(mode_t mode) {
    return S_ISDIR(mode)    ? "a directory"
           : S_ISFIFO(mode) ? "a FIFO"
           : S_ISSOCK(mode) ? "a socket"
           : S_ISCHR(mode)  ? "a character device"
           : S_ISBLK(mode)  ? "a block device"
                            : "a special file";
}

// The system refuses the step for this user or this folder, not for want of room or an error.
bool IsRefusal(int error) {
    return error == EACCES || error == EPERM;
}

// A new file cannot take the name, though the file itself can be written: the folder refuses
// (above), the file is a mount point of its own (a container's volume: EBUSY, EXDEV), the
// temporary's name is too long, or there is no room for a second copy (a full disk, a quota).
bool GivesWayToWritingInPlace(int error) {
    return IsRefusal(error) || error == EBUSY || error == EXDEV || error == ENAMETOOLONG ||
           error == ENOSPC || error == EDQUOT;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// The file's first `limit` bytes, whatever its offset; false, with errno, when reading fails.
bool ReadFrom(int fd, std::size_t limit, std::string& bytes) {
    bytes.assign(std::min(limit, kFirstReadSize), '\0');
    std::size_t filled = 0;
    while (filled < limit) {
        if (filled == bytes.size()) {
            bytes.resize(std::min(limit, bytes.size() * 2));
        }
        const ssize_t n =
            ::pread(fd, bytes.data() + filled, bytes.size() - filled, static_cast<off_t>(filled));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            bytes.clear();
            return false;
        }
        if (n == 0) {
            break;
        }
        filled += static_cast<std::size_t>(n);
    }
    bytes.resize(filled);
    return true;
}

struct OpenedFile {
    UniqueFd fd;
    struct stat status {};
    int error = 0;     // errno when not opened: ENOENT for no file
    std::string cause; // the reason in words when not opened
    FileFault fault = FileFault::kOther;

    FileFailure Failure(const char* verb, const char* name) const {
        return StoreFailure(fault, verb, name, cause);
    }
};

// Opens an existing regular file. Anything else is refused before it is opened (opening a FIFO
// waits for a writer, a serial port for its carrier, and some devices act on being opened), and
// after, should one have been put in its place meanwhile.
OpenedFile OpenRegularFile(const char* path, int flags) {
    OpenedFile opened;
    const auto refuse = [&opened](int error, std::string cause,
                                  FileFault fault = FileFault::kOther) {
        opened.fd.Close();
        opened.error = error;
        opened.cause = std::move(cause);
        opened.fault = fault == FileFault::kOther ? FaultOfSystemError(error) : fault;
        return std::move(opened);
    };
    if (::stat(path, &opened.status) != 0) {
        return refuse(errno, SystemErrorText(errno));
    }
    if (S_ISREG(opened.status.st_mode)) {
        opened.fd = UniqueFd(::open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        // Without waiting, a file under another program's lease (a file server's) is refused.
        if (!opened.fd.IsValid() && errno == EWOULDBLOCK) {
            return refuse(errno, kHeldByAnotherProgram);
        }
        if (!opened.fd.IsValid() || ::fstat(opened.fd.get(), &opened.status) != 0) {
            return refuse(errno, SystemErrorText(errno));
        }
    }
    if (!S_ISREG(opened.status.st_mode)) {
        return refuse(EINVAL, NotARegularFile(FileKind(opened.status.st_mode)),
                      FileFault::kNotAFile);
    }
    return opened;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Makes the rename itself durable.
void SyncDirectoryOf(const std::string& path) {
    UniqueFd dir(::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.IsValid()) {
        g_storeSync(dir.get());
    }
}

// The longest name a file in the folder of `path` may have.
std::size_t NameMaxOf(const std::string& path) {
    const long nameMax = ::pathconf(DirectoryOf(path).c_str(), _PC_NAME_MAX);
    return nameMax > 0 ? static_cast<std::size_t>(nameMax) : kNoNameLimit;
}

// Whether a file may grow to `size` bytes under this process's file-size limit. Past it a write
// fails with EFBIG where SIGXFSZ is ignored, and ends the process where it is not: the store
// checks first, so that no write of it is cut short either way.
bool WithinFileSizeLimit(std::size_t size) {
    rlimit limit{};
    return ::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
           size <= limit.rlim_cur;
}

// Follows a chain of symbolic links to the file it names, which need not exist yet.
bool FollowLinks(const char* name, std::string& target) {
    target = name;
    for (int hops = 0; hops < 40; ++hops) { // the kernel's own limit
        char link[PATH_MAX];
        const ssize_t length = ::readlink(target.c_str(), link, sizeof link);
        if (length < 0) {
            return true; // not a link, or nothing there: the steps after it tell what is wrong
        }
        if (static_cast<std::size_t>(length) == sizeof link) {
            errno = ENAMETOOLONG;
            return false;
        }
        const std::string_view linked(link, static_cast<std::size_t>(length));
        target = linked[0] == '/' ? std::string(linked)
                                  : std::string(SplitDirectory(target).first) + std::string(linked);
    }
    errno = ELOOP;
    return false;
}

// A save's wait for what another program holds (the save lock, a lease), bounded as `wait` says
// and ended sooner by its caller. By the steady clock: a pause cut short by a signal counts only
// the time it took.
class Waiting {
public:
    enum class Turn { kAgain, kStopped, kTimeUp };

    explicit Waiting(const LockWait& wait)
        : wait_(wait), deadline_(Clock::now() + std::chrono::milliseconds(wait.limitMs)) {}

    Turn Pause() const {
        if (wait_.keepWaiting && !wait_.keepWaiting()) {
            return Turn::kStopped;
        }
        if (Clock::now() >= deadline_) {
            return Turn::kTimeUp;
        }
        ::usleep(kSaveLockPollMs * 1000);
        return Turn::kAgain;
    }

private:
    using Clock = std::chrono::steady_clock;
    const LockWait& wait_;
    Clock::time_point deadline_;
};

// Why a wait ended without what it waited for.
FileFailure WaitFailure(Waiting::Turn turn, const char* name) {
    return turn == Waiting::Turn::kStopped
               ? StoreFailure(FileFault::kStopped, "lock", name,
                              std::string(kHeldByAnotherProgram) + "; stopped waiting")
               : StoreFailure(FileFault::kHeld, "lock", name, kHeldByAnotherProgram);
}

enum class LockTaking { kTaken, kWaitEnded, kFailed };

// Waits for the lock every save takes. Where the file system keeps no record locks (some network
// and FUSE ones), the save goes ahead unlocked, as saves did before there was a lock. kFailed
// leaves errno; kWaitEnded leaves how in `turn`.
LockTaking LockForSave(int fd, const Waiting& waiting, Waiting::Turn& turn) {
    for (;;) {
        switch (TryLockByte(fd, kSaveLockOffset)) {
        case ByteLockOutcome::kTaken:
        case ByteLockOutcome::kNotKept:
            return LockTaking::kTaken;
        case ByteLockOutcome::kFailed:
            return LockTaking::kFailed;
        case ByteLockOutcome::kHeld:
            break;
        }
        turn = waiting.Pause();
        if (turn != Waiting::Turn::kAgain) {
            return LockTaking::kWaitEnded;
        }
    }
}

bool IsSameFile(const struct stat& one, const struct stat& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// Opens the file for the change and takes its lock. kReplaced when another save renamed its new
// file over the one locked here while this one waited: the lock then guards nothing.
Locking OpenAndLock(const char* name, const std::string& target, bool reading, const LockWait& wait,
                    OpenedFile& file, FileFailure& failure) {
    const Waiting waiting(wait);
    // A lease's holder has been told to give it back by the open that was refused.
    for (;;) {
        file = OpenRegularFile(target.c_str(), reading ? O_RDWR : O_WRONLY);
        if (file.error != EWOULDBLOCK) {
            break;
        }
        const Waiting::Turn turn = waiting.Pause();
        if (turn != Waiting::Turn::kAgain) {
            failure = WaitFailure(turn, name);
            return Locking::kFailed;
        }
    }
    if (!file.fd.IsValid()) {
        if (file.error == ENOENT) {
            return Locking::kMissing;
        }
        if (file.error == EROFS) {
            failure = StoreFailure("replace", name, EROFS);
        } else if (!IsRefusal(file.error)) {
            failure =
                reading ? ReadFailure(file.Failure("read", name)) : file.Failure("replace", name);
        } else if (reading && ::access(target.c_str(), R_OK) != 0) {
            failure = ReadFailure(StoreFailure("read", name, errno));
        } else {
            failure = StoreFailure(FileFault::kReadOnly, "replace", name, "the file is read-only");
        }
        return Locking::kFailed;
    }
    // Without any write permission the file is not to be changed, also by root (as on Windows).
    if ((file.status.st_mode & 0222) == 0) {
        failure = StoreFailure(FileFault::kReadOnly, "replace", name, "the file is read-only");
        return Locking::kFailed;
    }
    Waiting::Turn turn = Waiting::Turn::kAgain;
    switch (LockForSave(file.fd.get(), waiting, turn)) {
    case LockTaking::kTaken:
        break;
    case LockTaking::kWaitEnded:
        failure = WaitFailure(turn, name);
        return Locking::kFailed;
    case LockTaking::kFailed:
        failure = StoreFailure("lock", name, errno);
        return Locking::kFailed;
    }
    struct stat named {};
    if (::stat(target.c_str(), &named) != 0 || !IsSameFile(named, file.status) ||
        ::fstat(file.fd.get(), &file.status) != 0) {
        return Locking::kReplaced;
    }
    return Locking::kLocked;
}

// Created only where no file of that name exists: the name may be another save's (see
// TemporaryFileName). Its lock tells the sweepers of this machine, and of others where the file
// system passes locks on, that a save is under way in it.
UniqueFd CreateTemporaryFile(const std::string& target, TemporaryName& temporary) {
    thread_local std::mt19937 numbers{std::random_device{}()};
    const std::size_t nameMax = NameMaxOf(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = TemporaryFileName(target, numbers(), nameMax);
        // 0666 less the umask, as fopen would give a new file.
        UniqueFd file(
            ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
        if (file.IsValid()) {
            temporary = TemporaryName(std::move(name));
            ::flock(file.get(), LOCK_EX);
            return file;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return UniqueFd();
}

// Writes the temporary file whole and to the disk, before it takes any name; its modification
// time goes to `written`.
bool WriteTemporaryFile(UniqueFd file, std::string_view bytes, long long& written) {
    struct stat status {};
    const bool ok = WriteAll(file.get(), bytes) && g_storeSync(file.get()) == 0 &&
                    ::fstat(file.get(), &status) == 0;
    written = status.st_mtim.tv_sec;
    return file.Close() && ok;
}

// An ACL or other extended attributes, which a new file would not carry. The system's own
// labels (security.*) come with the folder.
bool HasExtendedAttributes(int fd) {
    char names[4096];
    const ssize_t length = ::flistxattr(fd, names, sizeof names);
    if (length < 0) {
        return errno == ERANGE; // more of them than fit
    }
    for (std::size_t at = 0; at < static_cast<std::size_t>(length);
         at += std::strlen(names + at) + 1) {
        if (std::strncmp(names + at, "security.", 9) != 0) {
            return true;
        }
    }
    return false;
}

// Gives the temporary file the owner, group and mode of the file, where the saver may: root
// any owner, the owner a group it belongs to. The owner first: a change of owner clears the
// set-id bits.
bool TakeOwnerAndMode(int fd, const struct stat& existing) {
    struct stat created {};
    if (::fstat(fd, &created) != 0) {
        return false;
    }
    const uid_t owner =
        existing.st_uid == created.st_uid ? static_cast<uid_t>(-1) : existing.st_uid;
    const gid_t group =
        existing.st_gid == created.st_gid ? static_cast<gid_t>(-1) : existing.st_gid;
    if ((owner != static_cast<uid_t>(-1) || group != static_cast<gid_t>(-1)) &&
        ::fchown(fd, owner, group) != 0) {
        return false;
    }
    return ::fchmod(fd, existing.st_mode & 07777) == 0;
}

using Step = LockedFile::Replacement;

// A step that cannot be taken though the file itself can be written gives way to writing in
// place; any other failure ends the save.
Step GiveWay(int cause, const char* verb, const char* name, FileFailure& failure) {
    if (GivesWayToWritingInPlace(cause)) {
        return Step::kRefused;
    }
    failure = StoreFailure(verb, name, cause);
    return Step::kFailed;
}

// The new file takes the name only where it can carry everything the old one had; kRefused,
// with nothing left behind, where it cannot.
Step ReplaceByRename(const char* name, const std::string& target, const OpenedFile& existing,
                     std::string_view bytes, long long& written, FileFailure& failure) {
    if (existing.status.st_nlink != 1 || HasExtendedAttributes(existing.fd.get())) {
        return Step::kRefused;
    }
    if (!WithinFileSizeLimit(bytes.size())) {
        failure = StoreFailure("write", name, EFBIG);
        return Step::kFailed;
    }
    TemporaryName temporary;
    UniqueFd file = CreateTemporaryFile(target, temporary);
    if (!file.IsValid()) {
        return GiveWay(errno, "replace", name, failure);
    }
    if (!TakeOwnerAndMode(file.get(), existing.status)) {
        return Step::kRefused;
    }
    // No room for a second copy (a full disk, a quota) leaves the file its own.
    if (!WriteTemporaryFile(std::move(file), bytes, written)) {
        return GiveWay(errno, "write", name, failure);
    }
    // A sticky folder lets only the file's owner replace it.
    if (::rename(temporary.get().c_str(), target.c_str()) != 0) {
        return GiveWay(errno, "replace", name, failure);
    }
    temporary.Release();
    SyncDirectoryOf(target);
    return Step::kDone;
}

// pwrite of all the bytes at `offset`.
bool WriteAt(int fd, std::string_view bytes, std::size_t offset) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Over the file itself, which stays all it was. The room for a longer text is made first, as
// blanks after the old one (the size limit, the disk), so that no failure leaves the file half
// written and a crash leaves the old values followed by blanks; a file that shrinks has the rest
// of its old text blanked in the same write, as far as a reader takes it, so that a crash before
// it is cut to length leaves the new values followed by blanks, nothing of the old ones that a
// reader sees. A file of any length thus costs no more memory or writing than that.
bool WriteIntoFile(const char* name, const OpenedFile& file, std::string_view bytes,
                   long long& written, FileFailure& failure) {
    const std::size_t oldSize = static_cast<std::size_t>(file.status.st_size);
    std::string text(bytes);
    text.resize(std::max(std::min(oldSize, kStoreReadLimit), bytes.size()), ' ');
    if (!WithinFileSizeLimit(text.size())) {
        failure = StoreFailure("write", name, EFBIG);
        return false;
    }
    const int fd = file.fd.get();
    if (bytes.size() > oldSize && !WriteAt(fd, std::string(bytes.size() - oldSize, ' '), oldSize)) {
        failure = StoreFailure("write", name, errno);
        [[maybe_unused]] const int undone = ::ftruncate(fd, static_cast<off_t>(oldSize));
        return false;
    }
    struct stat status {};
    const bool ok = WriteAt(fd, text, 0) &&
                    ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 &&
                    g_storeSync(fd) == 0 && ::fstat(fd, &status) == 0;
    if (!ok) {
        failure = StoreFailure("write", name, errno);
        return false;
    }
    written = status.st_mtim.tv_sec;
    return true;
}

class PosixLockedFile final : public LockedFile {
public:
    PosixLockedFile(const char* name, const std::string& target, OpenedFile file)
        : name_(name), target_(target), file_(std::move(file)) {}
    bool Read(std::size_t limit, std::string& bytes, FileFailure& failure) override {
        if (!ReadFrom(file_.fd.get(), limit, bytes)) {
            failure = ReadFailure(StoreFailure("read", name_, errno));
            return false;
        }
        return true;
    }
    Replacement ReplaceWhole(std::string_view bytes, long long& written,
                             FileFailure& failure) override {
        return ReplaceByRename(name_, target_, file_, bytes, written, failure);
    }
    bool WriteInPlace(std::string_view bytes, long long& written, FileFailure& failure) override {
        return WriteIntoFile(name_, file_, bytes, written, failure);
    }

private:
    const char* name_;
    std::string target_;
    OpenedFile file_;
};

} // namespace

int (*g_storeSync)(int fd) = ::fsync;

std::unique_ptr<LockedFile> LockFile(const char* name, const std::string& target, bool reading,
                                     const LockWait& wait, Locking& locking, FileFailure& failure) {
    OpenedFile file;
    locking = OpenAndLock(name, target, reading, wait, file, failure);
    if (locking != Locking::kLocked) {
        return nullptr;
    }
    return std::make_unique<PosixLockedFile>(name, target, std::move(file));
}

// The file where there was none. It takes the name only if no other save has made the file
// meanwhile (kTaken): that save's change would be lost.
Creation CreateMissingFile(const char* name, const std::string& target, std::string_view bytes,
                           long long& written, FileFailure& failure) {
    if (!WithinFileSizeLimit(bytes.size())) {
        failure = StoreFailure("write", name, EFBIG);
        return Creation::kFailed;
    }
    TemporaryName temporary;
    UniqueFd file = CreateTemporaryFile(target, temporary);
    if (!file.IsValid() || !WriteTemporaryFile(std::move(file), bytes, written)) {
        failure = StoreFailure("write", name, errno);
        return Creation::kFailed;
    }
    if (::link(temporary.get().c_str(), target.c_str()) != 0) {
        if (errno == EEXIST) {
            return Creation::kTaken;
        }
        // A file system without hard links (FAT, some shares) has only the rename, which would
        // replace a file made meanwhile.
        if ((errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) ||
            ::rename(temporary.get().c_str(), target.c_str()) != 0) {
            failure = StoreFailure("write", name, errno);
            return Creation::kFailed;
        }
        temporary.Release();
    }
    temporary.Close();
    SyncDirectoryOf(target);
    return Creation::kDone;
}

// `now` is the modification time of the file just saved: the file system's clock, which on a
// share is not this machine's. Only regular files of exactly the temporaries' form are taken,
// looked at before they are opened and opened without waiting or following a link.
void RemoveStaleTemporaryFiles(const std::string& path, long long now) {
    const auto [directory, name] = SplitDirectory(path);
    const std::string directoryPath = directory.empty() ? "." : std::string(directory);
    // Error codes rather than exceptions: the save has succeeded, whatever the walk meets.
    const std::size_t nameMax = NameMaxOf(path);
    std::error_code error;
    for (std::filesystem::directory_iterator entry(directoryPath, error), end;
         !error && entry != end; entry.increment(error)) {
        const std::string fileName = entry->path().filename().string();
        if (!TemporaryFileNumber(fileName, name, nameMax)) {
            continue;
        }
        const std::string temporary = std::string(directory) + fileName;
        struct stat named {};
        if (::lstat(temporary.c_str(), &named) != 0 || !S_ISREG(named.st_mode) ||
            now - named.st_mtim.tv_sec <= kStaleTemporarySeconds) {
            continue;
        }
        const UniqueFd file(
            ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
        struct stat opened {};
        // A file system without locks leaves the age alone to decide.
        if (file.IsValid() && ::fstat(file.get(), &opened) == 0 && IsSameFile(opened, named) &&
            !(::flock(file.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)) {
            ::unlink(temporary.c_str());
        }
    }
}

ReadOutcome ReadFileContents(const char* path, std::size_t limit, std::string& bytes,
                             FileFailure& failure) {
    const OpenedFile file = OpenRegularFile(path, O_RDONLY);
    if (!file.fd.IsValid()) {
        failure = ReadFailure(file.Failure("read", path));
        return file.error == ENOENT ? ReadOutcome::kMissing : ReadOutcome::kFailed;
    }
    if (!ReadFrom(file.fd.get(), limit, bytes)) {
        failure = ReadFailure(StoreFailure("read", path, errno));
        return ReadOutcome::kFailed;
    }
    return ReadOutcome::kRead;
}

FileFault FaultOfSystemError(SystemErrorCode code) {
    switch (code) {
    case EACCES:
    case EPERM:
    case EROFS:
        return FileFault::kReadOnly;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return FileFault::kNoRoom;
    case EISDIR:
    case ENXIO:
    case ENODEV:
        return FileFault::kNotAFile;
    case EWOULDBLOCK: // a lease, or a mandatory lock
    case ETXTBSY:
    case EBUSY:
        return FileFault::kHeld;
    default:
        return FileFault::kOther;
    }
}

std::optional<std::string> FileBehindLinks(const char* name, bool reading, FileFailure& failure) {
    std::string target;
    if (!FollowLinks(name, target)) {
        failure = StoreFailure(reading ? "read" : "replace", name, errno);
        return std::nullopt;
    }
    return target;
}
