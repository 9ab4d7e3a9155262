#pragma once

#include <windows.h>

// Throws away the keyboard and mouse input queued for this thread's windows: what the user did
// while a handler kept the window from answering, which would otherwise replay afterwards.
// PeekMessage hands out WM_QUIT whatever the filter, so one met on the way is posted again.
inline void DiscardQueuedInput() {
    const struct {
        UINT first;
        UINT last;
    } kInput[] = {{WM_KEYFIRST, WM_KEYLAST},
                  {WM_MOUSEFIRST, WM_MOUSELAST},
                  {WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK}};
    MSG msg;
    for (const auto& range : kInput) {
        while (::PeekMessageW(&msg, nullptr, range.first, range.last, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
        }
    }
}
