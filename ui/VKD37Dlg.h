#pragma once

#include <string>

#include <windows.h>

#include "link/SerialLink.h"
#include "link/UploadFrame.h"
#include "model/ParameterSet.h"
#include "model/SaveDecision.h"
#include "ui/framework/Controls.h"
#include "ui/framework/DialogEx.h"
#include "ui/framework/Gdi.h"

// The edit box in which the form reads `member` as a number; 0 for a member it has none for.
int NumberBoxOf(int ParameterSet::*member);

// The main window. It is the parameter set: the form, the file and the frame encoder all work
// on the members it inherits from ParameterSet.
class CVKD37参数设定程序Dlg : public CDialogEx, public ParameterSet {
public:
    CVKD37参数设定程序Dlg();

protected:
    const MessageMapEntry* GetMessageMap() const override;
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HICON OnQueryDragIcon();
    HBRUSH OnCtlColor(HDC hDC, HWND hControl, UINT nCtlColor);
    void OnSyncClicked();
    void OnUploadClicked();
    void OnPortSelChange();
    void OnPortDropDown();
    void OnPortSelEndOk();
    void OnPortSelEndCancel();
    void OnPortEditChange();
    void OnPortKillFocus();
    void OnTakeTypedPort();
    void OnOK() override;

    // The port list, the radio groups and the check boxes, at their place in the exchange.
    void ExchangeButtons(CDataExchange* pDX);
    void OpenPortAndReport(int nPort);
    int TakePortInBox();
    bool IsInPortBox(HWND hWnd) const;
    void UploadParameters();
    int SendFrameReopeningALostPort();
    void SaveParametersAndReport(int nPort);

    HICON m_hIcon;
    CComboBox m_cboPort;
    SerialLink m_link;
    UploadFrame m_frame{};
    std::wstring m_strUploadStatus;
    // The port list's selection when its list was last dropped down, until the list closes;
    // kNotDropped otherwise.
    static constexpr int kNotDropped = -2;
    int m_nSelectionAtDropDown = kNotDropped;
    // Text has been typed into the port box since a port was last chosen or taken from it.
    bool m_bPortTyped = false;
    // The settings file as this program read it at start or last saved it.
    FileSight m_fileSeen;
    // The picture the template gave the background control, once taken back from it, and the
    // copy scaled to the dialog's font that the control shows instead. The control never
    // deletes either, and this object outlives its window.
    BitmapHandle m_bmpTemplateBackground;
    BitmapHandle m_bmpScaledBackground;

private:
    void AddAboutItemToSystemMenu();
    void SendBackgroundToBack();
    void ScaleBackgroundToFont();
};
