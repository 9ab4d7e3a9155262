#include "cli/Output.h"

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <utility>

#include "platform/StopSignals.h"
#include "platform/SystemError.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/Text.h"
#else
#include <poll.h>
#include <unistd.h>

#include "platform/Handles.h"
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

void WriteOutBytes(const std::string& bytes) {
#ifdef _WIN32
    std::fflush(stdout);
    const int mode = _setmode(_fileno(stdout), _O_BINARY);
    WriteOut(bytes);
    if (mode != -1) {
        _setmode(_fileno(stdout), mode);
    }
#else
    WriteOut(bytes);
#endif
}

bool OutputIsTerminal() {
#ifdef _WIN32
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
#else
    return ::isatty(STDOUT_FILENO) == 1;
#endif
}

std::optional<std::string> OutputFailure() {
    return g_outputFailure;
}

namespace {

#ifdef _WIN32
std::optional<char> NextInputByte() {
    char byte = 0;
    if (!std::cin.get(byte)) {
        return std::nullopt;
    }
    return byte;
}
#else
// Byte by byte, so that nothing after the line is taken from the next reader.
std::optional<char> NextInputByte() {
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
            return std::nullopt;
        }
        return byte;
    }
}
#endif

std::string Trimmed(const std::string& text) {
    constexpr char kBlanks[] = " \t\v\f";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

} // namespace

// A line ends at CR, LF or CRLF: a terminal left raw (a serial console, a terminal program)
// sends a lone CR for Enter, Windows programs CRLF. The LF of a CRLF may come with the next read.
std::optional<std::string> ReadInputLine() {
    static bool afterCarriageReturn = false;
    std::string line;
    for (;;) {
        const std::optional<char> byte = NextInputByte();
        if (!byte) {
            afterCarriageReturn = false;
            if (line.empty() || CaughtStopSignal()) {
                return std::nullopt;
            }
            return Trimmed(line);
        }
        if (std::exchange(afterCarriageReturn, false) && *byte == '\n') {
            continue;
        }
        if (*byte == '\r' || *byte == '\n') {
            afterCarriageReturn = *byte == '\r';
            return Trimmed(line);
        }
        line += *byte;
    }
}
