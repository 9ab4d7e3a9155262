#include "platform/TerminalText.h"

#include <windows.h>

#include "platform/Text.h"

namespace {

// The console's input code page; the system's ANSI code page where there is no console.
UINT CodePage() {
    const UINT console = ::GetConsoleCP();
    return console != 0 ? console : ::GetACP();
}

} // namespace

std::optional<std::string> TextFromTerminal(std::string_view bytes) {
    if (bytes.empty()) {
        return std::string();
    }
    const int size = static_cast<int>(bytes.size());
    const int length =
        ::MultiByteToWideChar(CodePage(), MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (length <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CodePage(), MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(),
                          length);
    return Utf8(wide);
}

std::optional<std::string> ArgumentText(std::string_view argument) {
    return std::string(argument);
}

std::string TerminalEncoding() {
    return "code page " + std::to_string(CodePage());
}
