// hold_desktop: keeps the lane's desktop open while the bench runs. Wine closes a desktop about a
// second after the last program on it ends, and a program that starts as it closes does not start:
// CreateProcess fails with ERROR_INTERNAL_ERROR, or, started from the shell, Wine ends it at once
// without a word. Between two tests there is often just that second. Started by
// scripts/wine/session in each lane once the prefix is warm; the lane's wineserver ends it.
#include <windows.h>

int main() {
    // A program with a window is one of its desktop's users; a message-only window shows nothing.
    const HWND window = ::CreateWindowExW(0, L"STATIC", L"hold_desktop", 0, 0, 0, 0, 0,
                                          HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!window) {
        return 1;
    }
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::DispatchMessageW(&message);
    }
    return 0;
}
