#pragma once

#include "ui/framework/WinApp.h"

class CVKD37参数设定程序App : public CWinApp {
public:
    CVKD37参数设定程序App();

    // Runs the main dialog; FALSE then ends the program.
    BOOL InitInstance() override;
};

extern CVKD37参数设定程序App theApp;
