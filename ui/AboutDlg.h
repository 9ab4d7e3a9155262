#pragma once

#include "ui/framework/DialogEx.h"

// The About box, opened from the main window's system menu.
class CAboutDlg : public CDialogEx {
public:
    CAboutDlg();

protected:
    const MessageMapEntry* GetMessageMap() const override;
};
