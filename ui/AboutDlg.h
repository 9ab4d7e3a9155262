#pragma once

#include "ui/framework/DialogEx.h"

// The About box, opened from the main window's system menu and owned by it.
class CAboutDlg : public CDialogEx {
public:
    explicit CAboutDlg(HWND hParent);

protected:
    const MessageMapEntry* GetMessageMap() const override;
};
