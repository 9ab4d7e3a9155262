#include "ui/AboutDlg.h"

#include "res/resource.h"

CAboutDlg::CAboutDlg(HWND hParent) : CDialogEx(IDD_ABOUTBOX, hParent) {}

BEGIN_MESSAGE_MAP(CAboutDlg)
END_MESSAGE_MAP()
