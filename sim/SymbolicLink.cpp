#include "sim/SymbolicLink.h"

#include <cerrno>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/SystemError.h"

namespace {

std::string ReadLink(const std::string& path) {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink(path.c_str(), buffer.data(), buffer.size());
    return length > 0 ? std::string(buffer.data(), static_cast<std::size_t>(length))
                      : std::string();
}

} // namespace

bool SymbolicLink::PointAt(const std::string& target, std::string& error) {
    struct stat existing {};
    if (::lstat(path_.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        error = path_ + " exists and is not a symbolic link; not replacing it";
        return false;
    }
    const std::string temporary = path_ + ".tmp" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0) {
        error = "cannot create " + temporary + ": " + SystemErrorText(errno);
        return false;
    }
    if (::rename(temporary.c_str(), path_.c_str()) != 0) {
        error = "cannot create " + path_ + ": " + SystemErrorText(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    target_ = target;
    return true;
}

void SymbolicLink::Remove() {
    if (!target_.empty() && ReadLink(path_) == target_) {
        ::unlink(path_.c_str());
    }
    target_.clear();
}
