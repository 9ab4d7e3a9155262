#include "store/RecordFile.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "platform/SystemError.h"

std::optional<std::string> RecordFile::Open(const std::string& path) {
    // Not blocking on the open: a FIFO without a reader is refused at once, not waited on.
    file_ = UniqueFd(::open(
        path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666));
    if (!file_.IsValid()) {
        return SystemErrorText(errno);
    }
    const int flags = ::fcntl(file_.get(), F_GETFL);
    if (flags == -1 || ::fcntl(file_.get(), F_SETFL, flags & ~O_NONBLOCK) == -1) {
        const int error = errno;
        file_.Close();
        return SystemErrorText(error);
    }
    return std::nullopt;
}

std::optional<std::string> RecordFile::WriteWhole(std::string_view line) {
    while (!line.empty()) {
        const ssize_t written = ::write(file_.get(), line.data(), line.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return written < 0 ? SystemErrorText(errno) : "nothing was written";
        }
        line.remove_prefix(static_cast<std::size_t>(written));
    }
    return std::nullopt;
}
