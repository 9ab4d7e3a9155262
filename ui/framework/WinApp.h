#pragma once

#include <string>

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
    // Returns FALSE to end the program at once instead of running a message loop.
    virtual BOOL InitInstance();

    // Only remembers the name: nothing of the program is kept in the registry.
    void SetRegistryKey(const wchar_t* key) { m_registryKey = key; }
    const std::wstring& GetRegistryKey() const { return m_registryKey; }

    DWORD m_dwRestartManagerSupportFlags = 0;
    CDialogEx* m_pMainWnd = nullptr;

private:
    std::wstring m_registryKey;
};

CWinApp* AfxGetApp();
