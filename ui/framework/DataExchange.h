#pragma once

#include <string>

#include <windows.h>

class CDialogEx;
class CComboBox;

// One pass of a dialog's DoDataExchange. The first failure in the from-controls direction
// shows its prompt, puts the focus back on the control exchanged last and marks the pass
// failed; every routine called after that returns at once, so members not reached keep their
// values.
class CDataExchange {
public:
    CDataExchange(CDialogEx* pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

    // Remembers the control as the one to focus should a later check fail.
    HWND PrepareCtrl(int nIDC);
    HWND PrepareEditCtrl(int nIDC);
    void Fail(const wchar_t* prompt);
    bool Failed() const { return m_bFailed; }

    const BOOL m_bSaveAndValidate;
    CDialogEx* const m_pDlgWnd;

private:
    int m_idLastControl = 0;
    bool m_bEditLastControl = false;
    bool m_bFailed = false;
};

void DDX_Text(CDataExchange* pDX, int nIDC, int& value);
void DDX_Text(CDataExchange* pDX, int nIDC, std::wstring& value);
// The group is the button nIDC and the buttons after it up to the next one that starts a
// group; the value is the index of the checked one, -1 for none.
void DDX_Radio(CDataExchange* pDX, int nIDC, int& value);
void DDX_Check(CDataExchange* pDX, int nIDC, int& value);
void DDX_Control(CDataExchange* pDX, int nIDC, CComboBox& control);
void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal);
