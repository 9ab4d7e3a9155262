#pragma once

#include <windows.h>

// The combo box messages the dialogs send, one call each. CB_ERR (-1) is "no selection" from
// GetCurSel and "failed" from the others.
class CComboBox {
public:
    void Attach(HWND hWnd) { m_hWnd = hWnd; }
    int AddString(const wchar_t* text) {
        return static_cast<int>(
            ::SendMessageW(m_hWnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    }
    // An index outside the list clears the selection (and answers CB_ERR).
    int SetCurSel(int index) {
        return static_cast<int>(
            ::SendMessageW(m_hWnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0));
    }
    int GetCurSel() const { return static_cast<int>(::SendMessageW(m_hWnd, CB_GETCURSEL, 0, 0)); }
    // The entry whose whole text is `text`, whatever the case of its letters.
    int FindStringExact(const wchar_t* text) const {
        return static_cast<int>(::SendMessageW(m_hWnd, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                               reinterpret_cast<LPARAM>(text)));
    }

    HWND m_hWnd = nullptr;
};
