#include "platform/ByteLock.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

bool SetLock(int fd, std::uint64_t offset, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(offset);
    lock.l_len = 1;
    int result = 0;
    do {
        result = ::fcntl(fd, F_OFD_SETLK, &lock);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

} // namespace

ByteLockOutcome TryLockByte(int fd, std::uint64_t offset) {
    if (SetLock(fd, offset, F_WRLCK)) {
        return ByteLockOutcome::kTaken;
    }
    if (errno == ENOLCK || errno == EINVAL || errno == EOPNOTSUPP) {
        return ByteLockOutcome::kNotKept;
    }
    return errno == EAGAIN || errno == EACCES ? ByteLockOutcome::kHeld : ByteLockOutcome::kFailed;
}

bool UnlockByte(int fd, std::uint64_t offset) {
    return SetLock(fd, offset, F_UNLCK);
}
