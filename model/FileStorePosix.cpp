#include "model/FileStore.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/UniqueFd.h"

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

// The permissions fopen would have given a new file.
mode_t DefaultFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Makes the rename itself durable.
void SyncDirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string directory =
        slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    UniqueFd dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.IsValid()) {
        ::fsync(dir.get());
    }
}

} // namespace

bool ReplaceFileContents(const char* name, std::string_view bytes) {
    std::string temporary = std::string(name) + ".XXXXXX";
    UniqueFd file(::mkstemp(temporary.data()));
    if (!file.IsValid()) {
        return false;
    }
    const bool written = ::fchmod(file.get(), DefaultFileMode()) == 0 &&
                         WriteAll(file.get(), bytes) && ::fsync(file.get()) == 0;
    if (!file.Close() || !written || ::rename(temporary.c_str(), name) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    SyncDirectoryOf(name);
    return true;
}
