#include "ui/framework/HeldKeys.h"

bool IsRepeatThatPressesButtons(const MSG& msg) {
    constexpr LPARAM kWasDown = 1 << 30;
    if ((msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) || !(msg.lParam & kWasDown)) {
        return false;
    }
    if (msg.message == WM_SYSKEYDOWN || msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE) {
        return true;
    }
    // A held Backspace, arrow or letter in a field deletes, moves or types, as everywhere.
    const LRESULT wants =
        ::SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
    return !(wants & DLGC_HASSETSEL);
}

HeldKeyFilter::HeldKeyFilter()
    : hook_(::SetWindowsHookExW(WH_GETMESSAGE, &Filter, nullptr, ::GetCurrentThreadId())) {}

// A message taken out of the queue can be changed, not dropped: WM_NULL does nothing.
LRESULT CALLBACK HeldKeyFilter::Filter(int code, WPARAM removal, LPARAM message) {
    MSG& msg = *reinterpret_cast<MSG*>(message);
    if (code == HC_ACTION && removal == PM_REMOVE && IsRepeatThatPressesButtons(msg)) {
        msg.message = WM_NULL;
    }
    return ::CallNextHookEx(nullptr, code, removal, message);
}
