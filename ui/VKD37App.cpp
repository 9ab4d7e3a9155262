#include "ui/VKD37App.h"

#include <commctrl.h>

#include "ui/VKD37Dlg.h"

CVKD37参数设定程序App theApp;

CVKD37参数设定程序App::CVKD37参数设定程序App() {
    m_dwRestartManagerSupportFlags = AFX_RESTART_MANAGER_SUPPORT_RESTART;
}

// The dialogs host no ActiveX controls and no shell views, so neither needs setting up here.
BOOL CVKD37参数设定程序App::InitInstance() {
    INITCOMMONCONTROLSEX initCtrls{};
    initCtrls.dwSize = sizeof(initCtrls);
    initCtrls.dwICC = ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&initCtrls);

    CWinApp::InitInstance();

    SetRegistryKey(L"应用程序向导生成的本地应用程序");

    CVKD37参数设定程序Dlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
