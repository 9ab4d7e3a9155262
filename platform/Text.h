#pragma once

#ifdef _WIN32
#include <string>
#include <string_view>

// Text is UTF-8 inside our programs and UTF-16 at every Win32 call: file names, port names and
// messages cross here and nowhere else, never through the ANSI code page. Bytes that are not
// UTF-8 (or unpaired surrogates) become U+FFFD rather than being dropped.
std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// The full name Windows gives a relative or absolute file name, as messages show it and links are
// followed from; the name itself where Windows cannot make one.
std::wstring FullPath(const std::wstring& path);
#endif
