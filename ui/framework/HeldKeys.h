#pragma once

#include <windows.h>

#include "platform/UniqueHandle.h"

// A key held down repeats its key-down, each with bit 30 of lParam set: the key was down already.
// The dialog manager presses a button on every key-down it is given (Enter the focused or default
// one, Escape Cancel, Space the focused one, a letter its mnemonic), so a held key would press it
// again and again, and a key still held when a box opens would answer the box unread. A repeat
// therefore reaches only a field that takes text, and never as Enter or Escape; a new press
// (bit 30 clear) goes everywhere as before.
bool IsRepeatThatPressesButtons(const MSG& msg);

// For as long as it lives, the repeats above are taken out of this thread's messages as they
// leave the queue, whoever runs the loop: the system runs a message box's loop itself.
class HeldKeyFilter {
public:
    HeldKeyFilter();

private:
    struct HookTraits {
        using Handle = HHOOK;
        static Handle Invalid() { return nullptr; }
        static bool Close(Handle hook) { return ::UnhookWindowsHookEx(hook) != FALSE; }
    };
    static LRESULT CALLBACK Filter(int code, WPARAM removal, LPARAM message);

    UniqueHandle<HookTraits> hook_;
};
