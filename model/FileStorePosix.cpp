#include "model/FileStore.h"

#include <cerrno>
#include <climits>
#include <filesystem>
#include <random>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Handles.h"
#include "platform/SystemError.h"

namespace {

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

// Makes the rename itself durable.
void SyncDirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "."
                                  : slash == 0               ? "/"
                                                             : path.substr(0, slash);
    UniqueFd dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.IsValid()) {
        ::fsync(dir.get());
    }
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

// Without any write permission the file is not to be changed, also by root (as on Windows).
bool IsReadOnly(const std::string& path, const struct stat& status) {
    return (status.st_mode & 0222) == 0 ||
           (::access(path.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS));
}

// Created only where no file of that name exists: the name may be another save's (see
// TemporaryFileName). Its lock tells the sweepers of this machine, and of others where the file
// system passes locks on, that a save is under way in it.
UniqueFd CreateTemporaryFile(const std::string& target, std::string& temporary) {
    thread_local std::mt19937 numbers{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = TemporaryFileName(target, numbers());
        // 0666 less the umask, as fopen would give a new file.
        UniqueFd file(
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
        if (file.IsValid()) {
            ::flock(file.get(), LOCK_EX);
            return file;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return UniqueFd();
}

bool IsOlder(const struct timespec& time, const struct timespec& now, long long seconds) {
    return static_cast<long long>(now.tv_sec) - static_cast<long long>(time.tv_sec) > seconds;
}

// `now` is the modification time of the file just saved: the file system's clock, which on a
// share is not this machine's.
void RemoveStaleTemporaryFiles(const std::string& path, const struct timespec& now) {
    const auto [directory, name] = SplitDirectory(path);
    const std::string directoryPath = directory.empty() ? "." : std::string(directory);
    // Error codes rather than exceptions: the save has succeeded, whatever the walk meets.
    std::error_code error;
    for (std::filesystem::directory_iterator entry(directoryPath, error), end;
         !error && entry != end; entry.increment(error)) {
        const std::string fileName = entry->path().filename().string();
        if (!TemporaryFileNumber(fileName, name)) {
            continue;
        }
        const std::string temporary = std::string(directory) + fileName;
        const UniqueFd file(::open(temporary.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        struct stat status {};
        // A file system without locks leaves the age alone to decide.
        const bool held =
            file.IsValid() && ::flock(file.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        if (file.IsValid() && !held && ::fstat(file.get(), &status) == 0 &&
            S_ISREG(status.st_mode) && IsOlder(status.st_mtim, now, kStaleTemporarySeconds)) {
            ::unlink(temporary.c_str());
        }
    }
}

} // namespace

ReadOutcome ReadFileContents(const char* path, std::size_t limit, std::string& bytes,
                             std::string& error) {
    const UniqueFd file(::open(path, O_RDONLY | O_CLOEXEC));
    if (!file.IsValid()) {
        const ReadOutcome outcome = errno == ENOENT ? ReadOutcome::kMissing : ReadOutcome::kFailed;
        error = std::string("cannot read ") + path + ": " + SystemErrorText(errno);
        return outcome;
    }
    bytes.assign(limit, '\0');
    std::size_t filled = 0;
    while (filled < limit) {
        const ssize_t n = ::read(file.get(), bytes.data() + filled, limit - filled);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            // A directory opens, and fails only here (EISDIR).
            error = std::string("cannot read ") + path + ": " + SystemErrorText(errno);
            bytes.clear();
            return ReadOutcome::kFailed;
        }
        if (n == 0) {
            break;
        }
        filled += static_cast<std::size_t>(n);
    }
    bytes.resize(filled);
    return ReadOutcome::kRead;
}

bool ReplaceFileContents(const char* name, std::string_view bytes, std::string& error) {
    std::string target;
    if (!FollowLinks(name, target)) {
        error = std::string("cannot replace ") + name + ": " + SystemErrorText(errno);
        return false;
    }
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && IsReadOnly(target, existing)) {
        error = std::string("cannot replace ") + name + ": the file is read-only";
        return false;
    }
    std::string temporary;
    UniqueFd file = CreateTemporaryFile(target, temporary);
    if (!file.IsValid()) {
        error = "cannot create " + temporary + ": " + SystemErrorText(errno);
        return false;
    }
    if (exists) {
        // The owner first: a change of owner clears the set-id bits. Only root may give a file
        // away, and a file system without modes refuses both: the file is then as a new one.
        if (::fchown(file.get(), existing.st_uid, existing.st_gid) != 0) {
        }
        if (::fchmod(file.get(), existing.st_mode & 07777) != 0) {
        }
    }
    struct stat written {};
    const bool ok = WriteAll(file.get(), bytes) && ::fsync(file.get()) == 0 &&
                    ::fstat(file.get(), &written) == 0;
    if (!ok || !file.Close()) {
        error = "cannot write " + temporary + ": " + SystemErrorText(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        error = std::string("cannot replace ") + name + ": " + SystemErrorText(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    SyncDirectoryOf(target);
    RemoveStaleTemporaryFiles(target, written.st_mtim);
    return true;
}
