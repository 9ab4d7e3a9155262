#pragma once

#ifndef _WIN32
#include <cerrno>

#include <fcntl.h>
#include <sys/resource.h>
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

// `report` keeps every record file it was given open until its report is made, so that an attempt
// read again is read from the file it was read from. A shell's soft limit (1024 on most Linux) is
// below what a year of daily records from three stations needs, and any user may raise it to the
// hard limit: so the tool does, and only the hard limit stops it.
inline void RaiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}
#endif
