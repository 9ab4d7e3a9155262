#pragma once

#include <chrono>
#include <optional>
#include <string>

// Our text is UTF-8. A Windows console shows it through the wide API whatever its code page;
// files and pipes get the bytes as they are.
void WriteOut(const std::string& text);
void WriteError(const std::string& text);
// Bytes that must arrive as they are (a CSV with its CR LF, a workbook): no line end is changed,
// also where the C run-time would make LF a CR LF.
void WriteOutBytes(const std::string& bytes);
// Whether standard output is a terminal (a console on Windows).
bool OutputIsTerminal();
// Whether standard error, and standard input, are a terminal (a console on Windows).
bool ErrorIsTerminal();
bool InputIsTerminal();

inline void PrintLine(const std::string& text) {
    WriteOut(text + "\n");
}

// "1 upload", "3 uploads": a count and its noun, plural but for one.
inline std::string Counted(long long count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// One line to standard error naming the program and the cause.
inline void Complain(const std::string& message) {
    WriteError("vkd37: " + message + "\n");
}

// Why standard output could not take all that was written to it (a reader gone, a full disk),
// in the system's words; nothing while it took everything.
std::optional<std::string> OutputFailure();

// A line typed: its text as UTF-8, or `isText` false (and no text) where its bytes are not text
// in the terminal's encoding (platform/TerminalText.h).
struct InputLine {
    std::string text;
    bool isText = true;
};

// One line from standard input, ended by CR, LF or CRLF, without its end; nothing at the end of
// the input or, on POSIX, once a stop signal has arrived. At a terminal, an Enter that comes
// within kSameScan of a line's end is that line's, not a line of its own: a scanner that ends a
// label with Enter twice, or a terminal that turns CR LF into two line ends, has not answered the
// next question (the page's rule). Each line of a pipe or file is a line.
std::optional<InputLine> ReadInputLine();
constexpr std::chrono::milliseconds kSameScan{250};
