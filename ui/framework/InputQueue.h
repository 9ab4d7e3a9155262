#pragma once

#include <windows.h>

// Throws away the keyboard and mouse input queued for this thread's windows: what the user did
// while a handler kept the window from answering, which would otherwise replay afterwards.
inline void DiscardQueuedInput() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (::PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
    while (::PeekMessageW(&msg, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
    }
}
