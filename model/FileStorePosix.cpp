#include "model/FileStore.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Handles.h"

namespace {

std::string Reason(const char* what, const std::string& path) {
    return std::string(what) + " " + path + ": " + std::strerror(errno);
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

bool IsRunning(unsigned long processId) {
    // 0 and what does not fit a pid would address process groups, not a process.
    if (processId == 0 || processId > static_cast<unsigned long>(INT_MAX)) {
        return false;
    }
    return ::kill(static_cast<pid_t>(processId), 0) == 0 || errno != ESRCH;
}

void RemoveStaleTemporaryFiles(const char* path) {
    const auto [directory, name] = SplitDirectory(path);
    const Directory dir(::opendir(directory.empty() ? "." : std::string(directory).c_str()));
    if (!dir.IsValid()) {
        return;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::optional<unsigned long> owner = TemporaryFileOwner(entry->d_name, name);
        if (owner && !IsRunning(*owner)) {
            ::unlink((std::string(directory) + entry->d_name).c_str());
        }
    }
}

} // namespace

ReadOutcome ReadFileContents(const char* path, std::size_t limit, std::string& bytes,
                             std::string& error) {
    const UniqueFd file(::open(path, O_RDONLY | O_CLOEXEC));
    if (!file.IsValid()) {
        const ReadOutcome outcome = errno == ENOENT ? ReadOutcome::kMissing : ReadOutcome::kFailed;
        error = Reason("cannot read", path);
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
            error = Reason("cannot read", path);
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
    const std::string temporary = TemporaryFileName(name, static_cast<unsigned long>(::getpid()));
    // A file of that name is one this process id left in an earlier life: it is overwritten.
    // The permissions are those fopen would give a new file.
    UniqueFd file(
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (!file.IsValid()) {
        error = Reason("cannot create", temporary);
        return false;
    }
    const bool written = WriteAll(file.get(), bytes) && ::fsync(file.get()) == 0;
    if (!written || !file.Close()) {
        error = Reason("cannot write", temporary);
        ::unlink(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), name) != 0) {
        error = Reason("cannot replace", name);
        ::unlink(temporary.c_str());
        return false;
    }
    SyncDirectoryOf(name);
    RemoveStaleTemporaryFiles(name);
    return true;
}
