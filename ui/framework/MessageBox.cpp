#include "ui/framework/MessageBox.h"

namespace {

int CallMessageBoxW(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) {
    return ::MessageBoxW(owner, text, caption, type);
}

MessageBoxFunction g_messageBox = &CallMessageBoxW;

} // namespace

int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) {
    const std::wstring appName = caption ? std::wstring() : AfxGetAppName();
    return g_messageBox(owner, text, caption ? caption : appName.c_str(), type);
}

MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction function) {
    const MessageBoxFunction previous = g_messageBox;
    g_messageBox = function ? function : &CallMessageBoxW;
    return previous;
}

std::wstring AfxGetAppName() {
    // Long enough for any path the loader accepts.
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    const size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos) {
        name.resize(dot);
    }
    return name;
}
