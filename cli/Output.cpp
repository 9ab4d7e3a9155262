#include "cli/Output.h"

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <utility>

#include "platform/StopSignals.h"
#include "platform/SystemError.h"
#include "platform/TerminalText.h"

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

// Why the stream did not take the whole text; nothing when it did. Bytes that are not text go to a
// terminal as they are.
std::optional<std::string> Write(std::FILE* stream, const std::string& text, bool isText = true) {
    std::fflush(stream);
#ifdef _WIN32
    static_cast<void>(isText); // a console takes either as UTF-16
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
    const std::string& bytes = text;
#else
    // A terminal shows its locale's encoding; files and pipes get UTF-8.
    const std::string bytes = isText && ::isatty(::fileno(stream)) ? TextForTerminal(text) : text;
#endif
    const bool whole = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() &&
                       std::fflush(stream) == 0;
    std::clearerr(stream);
    if (whole) {
        return std::nullopt;
    }
    const SystemErrorCode cause = LastSystemError();
    return cause != 0 ? SystemErrorText(cause) : "not all of it was written";
}

void WriteOut(const std::string& text, bool isText) {
    const std::optional<std::string> failure = Write(stdout, text, isText);
    if (failure && !g_outputFailure) {
        g_outputFailure = failure;
    }
}

} // namespace

void WriteOut(const std::string& text) {
    WriteOut(text, true);
}

void WriteError(const std::string& text) {
    Write(stderr, text);
}

void WriteOutBytes(const std::string& bytes) {
#ifdef _WIN32
    std::fflush(stdout);
    const int mode = _setmode(_fileno(stdout), _O_BINARY);
    WriteOut(bytes, false);
    if (mode != -1) {
        _setmode(_fileno(stdout), mode);
    }
#else
    WriteOut(bytes, false);
#endif
}

namespace {

#ifdef _WIN32
bool IsConsole(DWORD handle) {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(handle), &mode) != 0;
}
#endif

} // namespace

bool OutputIsTerminal() {
#ifdef _WIN32
    return IsConsole(STD_OUTPUT_HANDLE);
#else
    return ::isatty(STDOUT_FILENO) == 1;
#endif
}

bool ErrorIsTerminal() {
#ifdef _WIN32
    return IsConsole(STD_ERROR_HANDLE);
#else
    return ::isatty(STDERR_FILENO) == 1;
#endif
}

bool InputIsTerminal() {
#ifdef _WIN32
    return IsConsole(STD_INPUT_HANDLE);
#else
    return ::isatty(STDIN_FILENO) == 1;
#endif
}

std::optional<std::string> OutputFailure() {
    return g_outputFailure;
}

namespace {

#ifdef _WIN32
// Console input as UTF-16, whatever the console's code page, as UTF-8 bytes; other input as it is.
bool InputIsConsole() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) != FALSE;
}

std::optional<char> NextInputByte() {
    static std::string pending;
    if (!InputIsConsole()) {
        char byte = 0;
        return std::cin.get(byte) ? std::optional<char>(byte) : std::nullopt;
    }
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    while (pending.empty()) {
        wchar_t units[2] = {};
        DWORD read = 0;
        if (!::ReadConsoleW(input, units, 1, &read, nullptr) || read == 0) {
            return std::nullopt;
        }
        const bool paired = units[0] >= 0xD800 && units[0] <= 0xDBFF &&
                            ::ReadConsoleW(input, units + 1, 1, &read, nullptr) && read == 1;
        pending = Utf8(std::wstring_view(units, paired ? 2 : 1));
    }
    const char byte = pending.front();
    pending.erase(0, 1);
    return byte;
}

// Waits until `until` for the console's next character: true when it ends a line (Enter, or the
// line feed Ctrl-J that a terminal or a scanner sends after it), taken; false when another comes
// first (left for the next line) or none comes. Keys let go, keys that type nothing (Ctrl, Shift)
// and other events are taken on the way: a line reads only the characters typed.
bool EnterBy(std::chrono::steady_clock::time_point until) {
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0 ||
            ::WaitForSingleObject(input, static_cast<DWORD>(left.count())) != WAIT_OBJECT_0) {
            return false;
        }
        INPUT_RECORD event{};
        DWORD count = 0;
        if (!::PeekConsoleInputW(input, &event, 1, &count) || count == 0) {
            continue;
        }
        const wchar_t typed = event.EventType == KEY_EVENT && event.Event.KeyEvent.bKeyDown
                                  ? event.Event.KeyEvent.uChar.UnicodeChar
                                  : L'\0';
        const bool lineEnd = typed == L'\r' || typed == L'\n';
        if (typed != L'\0' && !lineEnd) {
            return false;
        }
        if (!::ReadConsoleInputW(input, &event, 1, &count)) {
            return false;
        }
        if (lineEnd) {
            return true;
        }
    }
}
#else
bool InputIsConsole() {
    return false;
}

enum class Arrival { kByte, kQuiet, kEnd };

// Byte by byte, so that nothing after the line is taken from the next reader; kQuiet when no byte
// came within `timeoutMs` (-1: no bound), kEnd at the end of the input or a stop signal.
Arrival ReadByte(char& byte, int timeoutMs) {
    for (;;) {
        pollfd watched[2] = {{STDIN_FILENO, POLLIN, 0}, {StopSignalFd(), POLLIN, 0}};
        const int ready = ::poll(watched, 2, timeoutMs);
        if (ready < 0 && errno != EINTR) {
            return Arrival::kEnd;
        }
        if (ready == 0) {
            return Arrival::kQuiet;
        }
        if (watched[1].revents != 0) {
            return Arrival::kEnd;
        }
        if (watched[0].revents == 0) {
            continue;
        }
        const ssize_t count = ::read(STDIN_FILENO, &byte, 1);
        if (count < 0 && IsTransient(errno)) {
            continue;
        }
        return count > 0 ? Arrival::kByte : Arrival::kEnd;
    }
}

// What EnterBy read past a line's end, for the next line: a byte, or the end of the input (which
// a terminal reports once, at Ctrl-D).
std::optional<Arrival> g_readAhead;
char g_byteAhead = 0;

std::optional<char> NextInputByte() {
    char byte = g_byteAhead;
    const Arrival arrival =
        g_readAhead ? *std::exchange(g_readAhead, std::nullopt) : ReadByte(byte, -1);
    return arrival == Arrival::kByte ? std::optional<char>(byte) : std::nullopt;
}

// As on Windows, for a terminal's bytes.
bool EnterBy(std::chrono::steady_clock::time_point until) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
        return false;
    }
    const Arrival arrival = ReadByte(g_byteAhead, static_cast<int>(left.count()));
    if (arrival == Arrival::kByte && (g_byteAhead == '\r' || g_byteAhead == '\n')) {
        return true;
    }
    if (arrival != Arrival::kQuiet) {
        g_readAhead = arrival;
    }
    return false;
}
#endif

InputLine LineOf(const std::string& bytes) {
    if (InputIsConsole()) {
        return {bytes, true};
    }
    const std::optional<std::string> text = TextFromTerminal(bytes);
    return {text.value_or(std::string()), text.has_value()};
}

} // namespace

// A line ends at CR, LF or CRLF: a terminal left raw (a serial console, a terminal program)
// sends a lone CR for Enter, Windows programs CRLF. The LF of a CRLF may come with the next read.
// A terminal's line end is timed when it is read: at a prompt that is when it came, and so is each
// Enter read while the window after it lasts.
std::optional<InputLine> ReadInputLine() {
    static bool afterCarriageReturn = false;
    std::string line;
    for (;;) {
        const std::optional<char> byte = NextInputByte();
        if (!byte) {
            afterCarriageReturn = false;
            if (line.empty() || CaughtStopSignal()) {
                return std::nullopt;
            }
            return LineOf(line);
        }
        if (std::exchange(afterCarriageReturn, false) && *byte == '\n') {
            continue;
        }
        if (*byte == '\r' || *byte == '\n') {
            afterCarriageReturn = *byte == '\r';
            if (InputIsTerminal()) {
                const auto end = std::chrono::steady_clock::now();
                while (EnterBy(end + kSameScan)) {
                }
            }
            return LineOf(line);
        }
        line += *byte;
    }
}
