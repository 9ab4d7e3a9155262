#pragma once

#include <string>

#include <windows.h>

// Every message box of the program goes through ShowMessageBox, so tests can answer them
// instead of a person. With no caption, the program's name is used.
using MessageBoxFunction = int (*)(HWND owner, const wchar_t* text, const wchar_t* caption,
                                   UINT type);

int ShowMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);

// Installs another function (nullptr: MessageBoxW again); returns the one it replaces.
MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction function);

// The program file's name without its directory and extension.
std::wstring AfxGetAppName();
