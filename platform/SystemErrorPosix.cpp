#include "platform/SystemError.h"

#include <cerrno>
#include <system_error>

// strerror's words, without its shared buffer.
std::string SystemErrorText(SystemErrorCode error) {
    return std::generic_category().message(error);
}

SystemErrorCode LastSystemError() {
    return errno;
}
