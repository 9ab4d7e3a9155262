#pragma once

#ifndef _WIN32
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

// A descriptor 0-2 that whoever started us left closed would go to the next file opened (a
// port, a pipe): our output would go down the serial line or wake our own signal pipe, and the
// controller's bytes be read as the operator's answers. /dev/null takes each such place, for the
// rest of the process. Called first thing in main; false when /dev/null cannot be opened.
inline bool FillClosedStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF &&
            ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY) != fd) {
            return false;
        }
    }
    return true;
}
#endif
