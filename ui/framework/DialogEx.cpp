#include "ui/framework/DialogEx.h"

#include "ui/framework/DataExchange.h"
#include "ui/framework/HeldKeys.h"
#include "ui/framework/MessageBox.h"
#include "ui/framework/WinApp.h"

namespace {

bool IsCtlColorMessage(UINT message) {
    return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
}

// Messages whose answer a dialog procedure returns itself instead of through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
    return IsCtlColorMessage(message) || message == WM_QUERYDRAGICON || message == WM_COMPAREITEM ||
           message == WM_VKEYTOITEM || message == WM_CHARTOITEM;
}

} // namespace

CDialogEx::CDialogEx(UINT nIDTemplate, HWND hParent)
    : m_nIDTemplate(nIDTemplate), m_hParent(hParent) {}

INT_PTR CDialogEx::DoModal() {
    const HeldKeyFilter heldKeys;
    const HWND owner = GetSafeOwner();
    const bool disableOwner = owner && ::IsWindowEnabled(owner);
    if (disableOwner) {
        ::EnableWindow(owner, FALSE);
    }
    m_bContinueModal = true;
    m_nModalResult = -1;
    const HWND created =
        ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nIDTemplate), owner,
                             &CDialogEx::DialogProc, reinterpret_cast<LPARAM>(this));
    if (created) {
        // OnInitDialog may have ended the dialog already.
        if (m_bContinueModal) {
            RunModalLoop();
        }
        // Hidden first, so the owner can take the activation back before the window goes.
        ::SetWindowPos(created, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    }
    if (disableOwner) {
        ::EnableWindow(owner, TRUE);
    }
    if (owner && created && ::GetActiveWindow() == created) {
        ::SetActiveWindow(owner);
    }
    if (created) {
        ::DestroyWindow(created);
    }
    return m_nModalResult;
}

// The loop ends when a handler has called EndDialog. Unlike the system's modal loop it never
// restores a window that OnInitDialog minimised: it shows the dialog on the first idle moment
// only if the dialog is not visible by then.
void CDialogEx::RunModalLoop() {
    bool showWhenIdle = !::IsWindowVisible(m_hWnd);
    MSG msg;
    while (m_bContinueModal) {
        if (showWhenIdle && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            showWhenIdle = false;
            if (!::IsWindowVisible(m_hWnd)) {
                ShowWindow(SW_SHOWNORMAL);
                ::UpdateWindow(m_hWnd);
            }
        }
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) {
            continue;
        }
        if (got == 0) {
            // WM_QUIT belongs to an outer loop: leave it in the queue for that one.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (!::IsDialogMessageW(m_hWnd, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

void CDialogEx::EndDialog(int nResult) {
    m_nModalResult = nResult;
    m_bContinueModal = false;
    // Wakes the loop should this be called from outside a message it dispatched.
    ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

// The explicit parent, else the main window of the application unless that is this dialog or
// not created yet. Never whatever window happens to be active.
HWND CDialogEx::GetSafeOwner() const {
    if (m_hParent) {
        return m_hParent;
    }
    const CWinApp* app = AfxGetApp();
    const CDialogEx* mainWnd = app ? app->m_pMainWnd : nullptr;
    return mainWnd && mainWnd != this ? mainWnd->GetSafeHwnd() : nullptr;
}

BOOL CDialogEx::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return dx.Failed() ? FALSE : TRUE;
}

int CDialogEx::MessageBox(const wchar_t* text, const wchar_t* caption, UINT type) {
    return ShowMessageBox(m_hWnd, text, caption, type);
}

const MessageMapEntry* CDialogEx::GetMessageMap() const {
    static const MessageMapEntry kNone[] = {{0, 0, 0, nullptr}};
    return kNone;
}

void CDialogEx::DoDataExchange(CDataExchange*) {}

BOOL CDialogEx::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialogEx::OnOK() {
    if (!UpdateData(TRUE)) {
        return;
    }
    EndDialog(IDOK);
}

void CDialogEx::OnCancel() {
    EndDialog(IDCANCEL);
}

void CDialogEx::OnSysCommand(UINT, LPARAM) {
    SetMsgHandled(FALSE);
}

void CDialogEx::OnPaint() {
    SetMsgHandled(FALSE);
}

HBRUSH CDialogEx::OnCtlColor(HDC, HWND, UINT) {
    // No brush: the dialog manager then colours the control as usual.
    return nullptr;
}

INT_PTR CALLBACK CDialogEx::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialogEx* dialog = nullptr;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<CDialogEx*>(lParam);
        ::SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        dialog->m_hWnd = hWnd;
    } else {
        dialog = reinterpret_cast<CDialogEx*>(::GetWindowLongPtrW(hWnd, DWLP_USER));
    }
    // Messages that come before WM_INITDIALOG (WM_SETFONT) find no object yet.
    if (!dialog) {
        return FALSE;
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hWnd, DWLP_USER, 0);
        dialog->m_hWnd = nullptr;
        return FALSE;
    }
    // An exception must not unwind through user32's frames.
    try {
        return dialog->Dispatch(message, wParam, lParam);
    } catch (...) {
        return FALSE;
    }
}

INT_PTR CDialogEx::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        return OnInitDialog();
    }
    const UINT key = IsCtlColorMessage(message) ? WM_CTLCOLOR : message;
    for (const MessageMapEntry* entry = GetMessageMap(); entry->thunk; ++entry) {
        if (entry->message != key) {
            continue;
        }
        if (key == WM_COMMAND && (entry->id != LOWORD(wParam) || entry->code != HIWORD(wParam))) {
            continue;
        }
        // A handler that opens a box dispatches more messages to this dialog meanwhile, so each
        // dispatch keeps its own flag.
        const BOOL outerMsgHandled = m_bMsgHandled;
        m_bMsgHandled = TRUE;
        const LRESULT result = entry->thunk(*this, message, wParam, lParam);
        const BOOL handled = m_bMsgHandled;
        m_bMsgHandled = outerMsgHandled;
        if (!handled) {
            return FALSE;
        }
        if (ReturnsResultDirectly(message)) {
            return result;
        }
        ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    // Enter, Escape and the close box arrive as IDOK and IDCANCEL clicks.
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
    }
    return FALSE;
}
