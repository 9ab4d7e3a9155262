#include "ui/framework/WinApp.h"

namespace {

CWinApp* g_app = nullptr;

// Windows XP has no restart manager, so the call is looked up when the program runs.
void RegisterForRestart() {
    using RegisterApplicationRestartFn = HRESULT(WINAPI*)(PCWSTR, DWORD);
    const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    const FARPROC proc =
        kernel32 ? ::GetProcAddress(kernel32, "RegisterApplicationRestart") : nullptr;
    if (!proc) {
        return;
    }
    const auto registerRestart =
        reinterpret_cast<RegisterApplicationRestartFn>(reinterpret_cast<void (*)()>(proc));
    registerRestart(nullptr, 0);
}

} // namespace

CWinApp::CWinApp() {
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) {
        g_app = nullptr;
    }
}

BOOL CWinApp::InitInstance() {
    if (m_dwRestartManagerSupportFlags & AFX_RESTART_MANAGER_SUPPORT_RESTART) {
        RegisterForRestart();
    }
    return TRUE;
}

CWinApp* AfxGetApp() {
    return g_app;
}
