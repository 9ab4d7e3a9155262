#pragma once

#include <windows.h>

class CDialogEx;

// Restart-manager support a program can declare; restart after an update or a crash.
constexpr DWORD AFX_RESTART_MANAGER_SUPPORT_RESTART = 0x01;

// The program's one application object. It registers itself on construction; wWinMain then
// runs its InitInstance, and the program ends when that returns.
class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Registers the restart support with Windows where the system knows of it (Vista on).
    // A dialog program runs its dialog in here and returns FALSE: no message loop follows, and
    // the program ends. This framework has no loop of its own to run, so it ends either way.
    virtual BOOL InitInstance();

    // Names the settings key; nothing of the program is kept in the registry, so nothing more.
    void SetRegistryKey(const wchar_t*) {}

    DWORD m_dwRestartManagerSupportFlags = 0;
    CDialogEx* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();
