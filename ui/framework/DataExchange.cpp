#include "ui/framework/DataExchange.h"

#include <string>

#include "ui/framework/Controls.h"
#include "ui/framework/DialogEx.h"
#include "ui/framework/IntegerText.h"
#include "ui/framework/MessageBox.h"

namespace {

std::wstring GetWindowTextString(HWND hWnd) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(hWnd)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(::GetWindowTextW(hWnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

} // namespace

HWND CDataExchange::PrepareCtrl(int nIDC) {
    m_idLastControl = nIDC;
    m_bEditLastControl = false;
    return m_pDlgWnd->GetDlgItem(nIDC);
}

HWND CDataExchange::PrepareEditCtrl(int nIDC) {
    HWND hWnd = PrepareCtrl(nIDC);
    m_bEditLastControl = true;
    return hWnd;
}

void CDataExchange::Fail(const wchar_t* prompt) {
    m_bFailed = true;
    ShowMessageBox(m_pDlgWnd->GetSafeHwnd(), prompt, nullptr, MB_OK | MB_ICONEXCLAMATION);
    const HWND hLast = m_idLastControl ? m_pDlgWnd->GetDlgItem(m_idLastControl) : nullptr;
    if (!hLast) {
        return;
    }
    ::SetFocus(hLast);
    if (m_bEditLastControl) {
        // A combo box gives the focus to the edit inside it, which holds its text.
        const HWND focused = ::GetFocus();
        ::SendMessageW(focused && ::IsChild(hLast, focused) ? focused : hLast, EM_SETSEL, 0, -1);
    }
}

void DDX_Text(CDataExchange* pDX, int nIDC, int& value) {
    if (pDX->Failed()) {
        return;
    }
    const HWND hWnd = pDX->PrepareEditCtrl(nIDC);
    if (!pDX->m_bSaveAndValidate) {
        ::SetWindowTextW(hWnd, std::to_wstring(value).c_str());
        return;
    }
    if (!ParseIntegerText(GetWindowTextString(hWnd), value)) {
        pDX->Fail(L"Please enter an integer.");
    }
}

void DDX_Text(CDataExchange* pDX, int nIDC, std::wstring& value) {
    if (pDX->Failed()) {
        return;
    }
    const HWND hWnd = pDX->PrepareEditCtrl(nIDC);
    if (pDX->m_bSaveAndValidate) {
        value = GetWindowTextString(hWnd);
    } else {
        ::SetWindowTextW(hWnd, value.c_str());
    }
}

void DDX_Radio(CDataExchange* pDX, int nIDC, int& value) {
    if (pDX->Failed()) {
        return;
    }
    HWND hWnd = pDX->PrepareCtrl(nIDC);
    if (pDX->m_bSaveAndValidate) {
        value = -1;
    }
    int index = 0;
    // The group runs in window order; check boxes or statics inside it are not counted.
    do {
        if (::SendMessageW(hWnd, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) {
            if (pDX->m_bSaveAndValidate) {
                if (::SendMessageW(hWnd, BM_GETCHECK, 0, 0) != BST_UNCHECKED) {
                    value = index;
                }
            } else {
                ::SendMessageW(hWnd, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
            }
            ++index;
        }
        hWnd = ::GetWindow(hWnd, GW_HWNDNEXT);
    } while (hWnd && !(::GetWindowLongW(hWnd, GWL_STYLE) & WS_GROUP));
}

void DDX_Check(CDataExchange* pDX, int nIDC, int& value) {
    if (pDX->Failed()) {
        return;
    }
    const HWND hWnd = pDX->PrepareCtrl(nIDC);
    if (pDX->m_bSaveAndValidate) {
        value = static_cast<int>(::SendMessageW(hWnd, BM_GETCHECK, 0, 0));
        return;
    }
    // A check box knows three states only.
    if (value < BST_UNCHECKED || value > BST_INDETERMINATE) {
        value = BST_UNCHECKED;
    }
    ::SendMessageW(hWnd, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void DDX_Control(CDataExchange* pDX, int nIDC, CComboBox& control) {
    if (pDX->Failed()) {
        return;
    }
    // Attached on the first exchange of each window; later ones leave it be.
    if (control.m_hWnd != pDX->m_pDlgWnd->GetDlgItem(nIDC)) {
        control.Attach(pDX->PrepareCtrl(nIDC));
    }
}

void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal) {
    if (pDX->Failed() || !pDX->m_bSaveAndValidate) {
        return;
    }
    if (value < minVal || value > maxVal) {
        const std::wstring prompt = L"Please enter an integer between " + std::to_wstring(minVal) +
                                    L" and " + std::to_wstring(maxVal) + L".";
        pDX->Fail(prompt.c_str());
    }
}
