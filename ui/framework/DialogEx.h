#pragma once

#include <windows.h>

#include "ui/framework/MessageMap.h"

class CDataExchange;

// A modal dialog built from a resource template. The dialog procedure hands each message to
// the class's message map; IDOK and IDCANCEL that no row takes end in OnOK and OnCancel.
class CDialogEx {
public:
    // Without a parent the dialog belongs to the application's main window, if there is one.
    explicit CDialogEx(UINT nIDTemplate, HWND hParent = nullptr);
    virtual ~CDialogEx() = default;
    CDialogEx(const CDialogEx&) = delete;
    CDialogEx& operator=(const CDialogEx&) = delete;

    // Creates the dialog, disables its owner and runs the dialog's own message loop until
    // EndDialog. The result is what EndDialog was given, or -1 when the template cannot be
    // loaded. A dialog still hidden when its queue first goes empty is shown then; one made
    // visible (or minimised) by OnInitDialog is left as it is. Meanwhile a held key presses no
    // button in it, nor in any box or dialog it opens (HeldKeys.h).
    INT_PTR DoModal();
    void EndDialog(int nResult);

    // TRUE: from the controls into the members, with validation; FALSE: the other way.
    // Returns FALSE when a value failed (the prompt has been shown by then).
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
    void SetDlgItemText(int nID, const wchar_t* text) { ::SetDlgItemTextW(m_hWnd, nID, text); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
    HMENU GetSystemMenu(BOOL bRevert) const { return ::GetSystemMenu(m_hWnd, bRevert); }
    void SetIcon(HICON hIcon, BOOL bBigIcon) {
        SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon));
    }
    // Owned by this dialog; with no caption the program's name is used.
    int MessageBox(const wchar_t* text, const wchar_t* caption = nullptr, UINT type = MB_OK);

protected:
    virtual const MessageMapEntry* GetMessageMap() const;
    virtual void DoDataExchange(CDataExchange* pDX);
    // Fills the controls from the members; nonzero lets Windows focus the first tab stop.
    virtual BOOL OnInitDialog();
    // Ends the dialog only when the values pass validation.
    virtual void OnOK();
    virtual void OnCancel();

    // Default handling, for handlers that fall back on it.
    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HBRUSH OnCtlColor(HDC hDC, HWND hControl, UINT nCtlColor);

    // A handler that calls this with FALSE leaves the message to Windows' own processing.
    void SetMsgHandled(BOOL bHandled) { m_bMsgHandled = bHandled; }

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    HWND GetSafeOwner() const;
    void RunModalLoop();

    UINT m_nIDTemplate;
    HWND m_hParent;
    BOOL m_bMsgHandled = TRUE;
    bool m_bContinueModal = false;
    INT_PTR m_nModalResult = -1;
};
