// warm_up: shows a message box and closes it again. Run once when the Wine bench starts, so that
// the first program with a window in a new prefix (display driver, fonts, dialog manager) is not
// one whose timing a test looks at.
#include <windows.h>

namespace {

BOOL CALLBACK EndIfDialog(HWND hWnd, LPARAM) {
    wchar_t className[16] = L"";
    ::GetClassNameW(hWnd, className, 16);
    if (::lstrcmpW(className, L"#32770") == 0) {
        ::EndDialog(hWnd, IDOK);
    }
    return TRUE;
}

// A thread timer: it fires inside the box's own message loop, so the box exists by then.
void CALLBACK CloseTheBox(HWND, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(nullptr, timer);
    ::EnumThreadWindows(::GetCurrentThreadId(), &EndIfDialog, 0);
}

} // namespace

int main() {
    ::SetTimer(nullptr, 0, 200, &CloseTheBox);
    ::MessageBoxW(nullptr, L"\u5173\u4e8e VKD-37", L"warm_up", MB_OK);
    return 0;
}
