#include "ui/framework/DialogEx.h"

#include "ui/framework/DataExchange.h"
#include "ui/framework/MessageBox.h"

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
    // Like any modal box, it belongs to the window the user was working in.
    const HWND owner = m_hParent ? m_hParent : ::GetActiveWindow();
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nIDTemplate), owner,
                             &CDialogEx::DialogProc, reinterpret_cast<LPARAM>(this));
}

void CDialogEx::EndDialog(int nResult) {
    ::EndDialog(m_hWnd, nResult);
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
        m_bMsgHandled = TRUE;
        const LRESULT result = entry->thunk(*this, message, wParam, lParam);
        if (!m_bMsgHandled) {
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
