#include "cli/Output.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>

#include "platform/Text.h"
#endif

namespace {

void Write(std::FILE* stream, const std::string& text) {
    std::fflush(stream);
#ifdef _WIN32
    const HANDLE handle = ::GetStdHandle(stream == stdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (::GetConsoleMode(handle, &mode)) {
        const std::wstring wide = Wide(text);
        DWORD written = 0;
        ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
#endif
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

} // namespace

void WriteOut(const std::string& text) {
    Write(stdout, text);
}

void WriteError(const std::string& text) {
    Write(stderr, text);
}
