#include <windows.h>

#include "ui/framework/WinApp.h"

// The program's entry point: everything happens inside the application's InitInstance, whose
// result would only decide whether a message loop follows; none does.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    CWinApp* app = AfxGetApp();
    if (!app) {
        return 1;
    }
    app->InitInstance();
    return 0;
}
