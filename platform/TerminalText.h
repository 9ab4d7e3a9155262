#pragma once

#include <optional>
#include <string>
#include <string_view>

// Text typed into the program: inside it text is UTF-8; a terminal sends it in its own encoding,
// on POSIX the codeset of the user's locale (GBK, Big5, UTF-8; UTF-8 in the C and POSIX locales,
// which name no other), on Windows the console's code page (also for input piped from a program
// in the console). Wide console input (ReadConsoleW) needs no encoding.

// The bytes as UTF-8; nothing when they are not text in the terminal's encoding.
std::optional<std::string> TextFromTerminal(std::string_view bytes);

// An argument that holds text (a label, a pattern), as UTF-8: on POSIX it comes in the
// terminal's encoding; on Windows it came as UTF-16 and is UTF-8 already.
std::optional<std::string> ArgumentText(std::string_view argument);

// The encoding's name for messages: "GBK", "UTF-8", "code page 936".
std::string TerminalEncoding();

#ifndef _WIN32
// UTF-8 text as a terminal in the locale's encoding shows it: a character it cannot show as '?'.
// A Windows console takes UTF-16 instead.
std::string TextForTerminal(std::string_view utf8);
#endif
