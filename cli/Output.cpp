#include "cli/Output.h"

#include <cerrno>
#include <cstdio>
#include <iostream>

#include "platform/SystemError.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/Text.h"
#else
#include <poll.h>
#include <unistd.h>

#include "platform/Handles.h"
#include "platform/StopSignals.h"
#endif

namespace {

std::optional<std::string> g_outputFailure;

// Why the stream did not take the whole text; nothing when it did.
std::optional<std::string> Write(std::FILE* stream, const std::string& text) {
    std::fflush(stream);
#ifdef _WIN32
    const HANDLE handle = ::GetStdHandle(stream == stdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (::GetConsoleMode(handle, &mode)) {
        const std::wstring wide = Wide(text);
        DWORD written = 0;
        if (!::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written,
                             nullptr)) {
            return SystemErrorText(::GetLastError());
        }
        return std::nullopt;
    }
#endif
    const bool whole =
        std::fwrite(text.data(), 1, text.size(), stream) == text.size() && std::fflush(stream) == 0;
    std::clearerr(stream);
    if (whole) {
        return std::nullopt;
    }
    const SystemErrorCode cause = LastSystemError();
    return cause != 0 ? SystemErrorText(cause) : "not all of it was written";
}

} // namespace

void WriteOut(const std::string& text) {
    const std::optional<std::string> failure = Write(stdout, text);
    if (failure && !g_outputFailure) {
        g_outputFailure = failure;
    }
}

void WriteError(const std::string& text) {
    Write(stderr, text);
}

std::optional<std::string> OutputFailure() {
    return g_outputFailure;
}

#ifdef _WIN32
std::optional<std::string> ReadInputLine() {
    std::string line;
    if (!std::getline(std::cin, line)) {
        return std::nullopt;
    }
    return line;
}
#else
// Byte by byte, so that nothing after the line is taken from the next reader.
std::optional<std::string> ReadInputLine() {
    std::string line;
    for (;;) {
        pollfd watched[2] = {{STDIN_FILENO, POLLIN, 0}, {StopSignalFd(), POLLIN, 0}};
        if (::poll(watched, 2, -1) < 0 && errno != EINTR) {
            return std::nullopt;
        }
        if (watched[1].revents != 0) {
            return std::nullopt;
        }
        if (watched[0].revents == 0) {
            continue;
        }
        char byte = 0;
        const ssize_t count = ::read(STDIN_FILENO, &byte, 1);
        if (count < 0 && IsTransient(errno)) {
            continue;
        }
        if (count <= 0) {
            return line.empty() ? std::nullopt : std::optional<std::string>(line);
        }
        if (byte == '\n') {
            return line;
        }
        line += byte;
    }
}
#endif
