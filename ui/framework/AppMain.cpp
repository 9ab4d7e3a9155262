#include <windows.h>

#include "ui/framework/WinApp.h"

// The program's entry point: everything happens inside the application's InitInstance.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    CWinApp* app = AfxGetApp();
    if (!app) {
        return 1;
    }
    app->InitInstance();
    return 0;
}
