#pragma once

#include <windows.h>

class CDialogEx;

// The one entry that answers every WM_CTLCOLOR* message; the handler gets the kind
// (CTLCOLOR_EDIT, CTLCOLOR_STATIC, ...) as its third argument.
constexpr UINT WM_CTLCOLOR = 0x0019;

// Unpacks the message for one typed member handler and packs its answer.
using MessageThunk = LRESULT (*)(CDialogEx& dialog, UINT message, WPARAM wParam, LPARAM lParam);

// One row of a class's message map. WM_COMMAND rows match the control id (LOWORD of wParam)
// and the notification code (HIWORD); other rows match the message alone. A table ends with a
// row whose thunk is null, so an empty map is just that row.
struct MessageMapEntry {
    UINT message;
    UINT code;
    UINT id;
    MessageThunk thunk;
};

template <class Dialog> struct MessageCrack {
    template <void (Dialog::*Handler)()>
    static LRESULT NoArguments(CDialogEx& dialog, UINT, WPARAM, LPARAM) {
        (static_cast<Dialog&>(dialog).*Handler)();
        return 0;
    }

    template <void (Dialog::*Handler)(UINT, LPARAM)>
    static LRESULT SysCommand(CDialogEx& dialog, UINT, WPARAM wParam, LPARAM lParam) {
        (static_cast<Dialog&>(dialog).*Handler)(static_cast<UINT>(wParam), lParam);
        return 0;
    }

    template <HICON (Dialog::*Handler)()>
    static LRESULT QueryDragIcon(CDialogEx& dialog, UINT, WPARAM, LPARAM) {
        return reinterpret_cast<LRESULT>((static_cast<Dialog&>(dialog).*Handler)());
    }

    template <HBRUSH (Dialog::*Handler)(HDC, HWND, UINT)>
    static LRESULT CtlColor(CDialogEx& dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        const UINT kind = message - WM_CTLCOLORMSGBOX;
        return reinterpret_cast<LRESULT>((static_cast<Dialog&>(dialog).*Handler)(
            reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), kind));
    }
};

// A class declares `const MessageMapEntry* GetMessageMap() const override;` and lists its
// handlers, in the order they are tried, between these two macros in its .cpp file.
#define BEGIN_MESSAGE_MAP(theClass)                                                                \
    const MessageMapEntry* theClass::GetMessageMap() const {                                       \
        using ThisClass [[maybe_unused]] = theClass;                                               \
        using Crack [[maybe_unused]] = MessageCrack<theClass>;                                     \
        static const MessageMapEntry kEntries[] = {

#define END_MESSAGE_MAP()                                                                          \
    { 0, 0, 0, nullptr }                                                                           \
    }                                                                                              \
    ;                                                                                              \
    return kEntries;                                                                               \
    }

#define ON_WM_SYSCOMMAND() {WM_SYSCOMMAND, 0, 0, &Crack::SysCommand<&ThisClass::OnSysCommand>},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, &Crack::NoArguments<&ThisClass::OnPaint>},
#define ON_WM_QUERYDRAGICON()                                                                      \
    {WM_QUERYDRAGICON, 0, 0, &Crack::QueryDragIcon<&ThisClass::OnQueryDragIcon>},
#define ON_WM_CTLCOLOR() {WM_CTLCOLOR, 0, 0, &Crack::CtlColor<&ThisClass::OnCtlColor>},
#define ON_BN_CLICKED(id, memberFxn) {WM_COMMAND, BN_CLICKED, id, &Crack::NoArguments<memberFxn>},
#define ON_CBN_SELCHANGE(id, memberFxn)                                                            \
    {WM_COMMAND, CBN_SELCHANGE, id, &Crack::NoArguments<memberFxn>},
#define ON_CBN_DROPDOWN(id, memberFxn)                                                             \
    {WM_COMMAND, CBN_DROPDOWN, id, &Crack::NoArguments<memberFxn>},
#define ON_CBN_SELENDOK(id, memberFxn)                                                             \
    {WM_COMMAND, CBN_SELENDOK, id, &Crack::NoArguments<memberFxn>},
#define ON_CBN_SELENDCANCEL(id, memberFxn)                                                         \
    {WM_COMMAND, CBN_SELENDCANCEL, id, &Crack::NoArguments<memberFxn>},
#define ON_CBN_EDITCHANGE(id, memberFxn)                                                           \
    {WM_COMMAND, CBN_EDITCHANGE, id, &Crack::NoArguments<memberFxn>},
#define ON_CBN_KILLFOCUS(id, memberFxn)                                                            \
    {WM_COMMAND, CBN_KILLFOCUS, id, &Crack::NoArguments<memberFxn>},
// A message of the class's own (WM_APP and up), with no arguments and no answer.
#define ON_MESSAGE_VOID(message, memberFxn) {message, 0, 0, &Crack::NoArguments<memberFxn>},
