#include "OperatorDriver.h"

#include <cstdio>

#include "platform/SystemError.h"
#include "platform/Text.h"

namespace {

constexpr UINT kSendTimeoutMs = 10000;

LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                          &result);
    return static_cast<LRESULT>(result);
}

std::wstring WindowText(HWND window) {
    const LRESULT length = Send(window, WM_GETTEXTLENGTH);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied =
        Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(copied));
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

struct WindowSearch {
    DWORD processId;
    HWND owner; // null: the main window itself is wanted
    HWND found = nullptr;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<WindowSearch*>(context);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    if (processId != search.processId || ClassName(window) != L"#32770" ||
        !::IsWindowVisible(window)) {
        return TRUE;
    }
    const bool wanted = search.owner ? ::GetWindow(window, GW_OWNER) == search.owner
                                     : WindowText(window) == kMainWindowCaption;
    if (wanted) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindTopLevel(DWORD processId, HWND owner) {
    WindowSearch search{processId, owner};
    ::EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// "0.09 s".
std::string Seconds(DWORD milliseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", milliseconds / 1000.0);
    return text;
}

// An exception or a status of the system in hexadecimal, as it is documented; a program's own
// in decimal.
std::string ExitCodeText(DWORD code) {
    char text[32];
    std::snprintf(text, sizeof text, code >= 0x80000000 ? "0x%08lX" : "%lu",
                  static_cast<unsigned long>(code));
    return text;
}

} // namespace

StartOutcome OperatorDriver::Start(const std::wstring& program, const std::wstring& workDir,
                                   DWORD timeoutMs) {
    const std::string name = Utf8(program);
    const DWORD began = ::GetTickCount();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring commandLine = L"\"" + program + L"\"";
    // Wine now and then refuses a start with ERROR_INTERNAL_ERROR, most often in the second after
    // the last program on its desktop ended, as that desktop closes: such a start is tried again a
    // second later, twice at most. Every other refusal is final.
    constexpr int kStartAttempts = 3;
    constexpr DWORD kStartRetryMs = 1000;
    for (int attempt = 1;; ++attempt) {
        if (::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                             nullptr, workDir.c_str(), &startup, &info)) {
            break;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_INTERNAL_ERROR || attempt == kStartAttempts) {
            const std::string tries =
                attempt > 1 ? ", at attempt " + std::to_string(attempt) : std::string();
            return {nullptr, MakeFailure(StartFault::kNotStarted, "start", name,
                                         SystemErrorText(error) + " (error " +
                                             std::to_string(error) + tries + ")")};
        }
        ::Sleep(kStartRetryMs);
    }
    ::CloseHandle(info.hThread);
    auto driver = std::make_unique<OperatorDriver>(Token{});
    driver->process_.reset(info.hProcess);
    driver->processId_ = info.dwProcessId;
    WaitUntil(timeoutMs, [&] {
        driver->main_ = FindTopLevel(info.dwProcessId, nullptr);
        return driver->main_ != nullptr || driver->HasExited();
    });
    if (driver->main_) {
        return {std::move(driver), {}};
    }
    const std::string after = Seconds(::GetTickCount() - began);
    DWORD exitCode = 0;
    if (driver->HasExited() && ::GetExitCodeProcess(driver->Process(), &exitCode)) {
        return {nullptr, MakeFailure(StartFault::kEnded, "start", name,
                                     "it ended after " + after +
                                         ", before its main window appeared, with exit code " +
                                         ExitCodeText(exitCode))};
    }
    return {nullptr, MakeFailure(StartFault::kOther, "start", name,
                                 "its main window did not appear within " + after)};
}

OperatorDriver::~OperatorDriver() {
    if (!process_ || HasExited()) {
        return;
    }
    if (main_) {
        // Answer whatever box is still open, then close the dialog as the close box does.
        for (int i = 0; i < 5; ++i) {
            const Box box = WaitForBox(0);
            if (!box.window) {
                break;
            }
            Answer(box);
        }
        ::PostMessageW(main_, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    if (!main_ || !WaitForExit(kOutcomeTimeoutMs)) {
        ::TerminateProcess(process_.get(), 1);
        WaitForExit(kOutcomeTimeoutMs);
    }
}

bool OperatorDriver::HasExited() const {
    return ::WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0;
}

bool OperatorDriver::WaitForExit(DWORD timeoutMs) {
    return ::WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0;
}

HWND OperatorDriver::Item(int id) const {
    return ::GetDlgItem(main_, id);
}

bool OperatorDriver::IsMinimised() const {
    return ::IsIconic(main_) != FALSE;
}

void OperatorDriver::Restore() {
    ::ShowWindow(main_, SW_RESTORE);
    ::SetForegroundWindow(main_);
    WaitUntil(kOutcomeTimeoutMs, [&] { return !IsMinimised(); });
}

std::wstring OperatorDriver::Text(int id) const {
    return WindowText(Item(id));
}

void OperatorDriver::Type(int id, const std::wstring& text) {
    const HWND field = Item(id);
    Send(main_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field), TRUE);
    // In a combo box, the edit inside it; Wine's selects its text the first time only.
    const HWND focused = FocusedWindow();
    Send(::IsChild(field, focused) ? focused : field, EM_SETSEL, 0, -1);
    Send(field, WM_CHAR, VK_BACK, 0);
    for (wchar_t c : text) {
        Send(field, WM_CHAR, c, 0);
    }
}

bool OperatorDriver::IsChecked(int id) const {
    return Send(Item(id), BM_GETCHECK) == BST_CHECKED;
}

bool OperatorDriver::IsEnabled(int id) const {
    return ::IsWindowEnabled(Item(id)) != FALSE;
}

void OperatorDriver::SetChecked(int id, bool checked) {
    if (IsChecked(id) != checked) {
        Send(Item(id), BM_CLICK);
    }
}

void OperatorDriver::Click(int id) {
    ::PostMessageW(Item(id), BM_CLICK, 0, 0);
}

void OperatorDriver::PressEnter(int id) {
    const HWND field = Item(id);
    Send(main_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field), TRUE);
    ::PostMessageW(field, WM_KEYDOWN, VK_RETURN, 1);
    ::PostMessageW(field, WM_KEYUP, VK_RETURN, 0xC0000001);
}

void OperatorDriver::ClickAndWaitForHandler(int id) {
    Send(Item(id), BM_CLICK);
}

void OperatorDriver::Focus(int id) {
    Send(main_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), TRUE);
}

void OperatorDriver::PressKey(WORD virtualKey) {
    INPUT keys[2] = {};
    for (INPUT& key : keys) {
        key.type = INPUT_KEYBOARD;
        key.ki.wVk = virtualKey;
        key.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    }
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, keys, sizeof(INPUT));
}

void OperatorDriver::HoldKey(WORD virtualKey, const std::function<bool()>& release) const {
    constexpr DWORD kFirstRepeatMs = 500, kRepeatMs = 33;
    constexpr LPARAM kWasDown = 1 << 30, kReleased = 1U << 31;
    const LPARAM once = 1 | static_cast<LPARAM>(::MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC))
                                << 16;
    const auto post = [&](UINT message, LPARAM flags) {
        const HWND focused = FocusedWindow();
        ::PostMessageW(focused ? focused : main_, message, virtualKey, once | flags);
    };
    post(WM_KEYDOWN, 0);
    ::Sleep(kFirstRepeatMs);
    WaitUntil(kOutcomeTimeoutMs, [&] {
        post(WM_KEYDOWN, kWasDown);
        ::Sleep(kRepeatMs);
        return release();
    });
    post(WM_KEYUP, kWasDown | kReleased);
}

HWND OperatorDriver::FocusedWindow() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    const DWORD thread = ::GetWindowThreadProcessId(main_, nullptr);
    return ::GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

void OperatorDriver::ChooseListEntry(int id, int index) {
    // What the list does when the operator picks an entry: select it, then tell the dialog.
    const HWND list = Item(id);
    Send(list, CB_SETCURSEL, static_cast<WPARAM>(index));
    ::PostMessageW(main_, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(list));
}

int OperatorDriver::ListSelection(int id) const {
    return static_cast<int>(Send(Item(id), CB_GETCURSEL));
}

std::vector<std::wstring> OperatorDriver::ListEntries(int id) const {
    const HWND list = Item(id);
    std::vector<std::wstring> entries;
    const int count = static_cast<int>(Send(list, CB_GETCOUNT));
    for (int i = 0; i < count; ++i) {
        std::wstring entry(static_cast<size_t>(Send(list, CB_GETLBTEXTLEN, i)) + 1, L'\0');
        entry.resize(static_cast<size_t>(
            Send(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry.data()))));
        entries.push_back(entry);
    }
    return entries;
}

OperatorDriver::Box OperatorDriver::WaitForBox(DWORD timeoutMs) const {
    Box box;
    WaitUntil(timeoutMs, [&] {
        box.window = FindTopLevel(processId_, main_);
        return box.window != nullptr;
    });
    if (!box.window) {
        return box;
    }
    box.caption = WindowText(box.window);
    for (HWND child = ::GetWindow(box.window, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        const std::wstring kind = ClassName(child);
        if (kind == L"Button") {
            ++box.buttons;
        } else if (kind == L"Static") {
            if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
                // Wine keeps the icon control even for a box without an icon, just empty.
                box.hasIcon = box.hasIcon || (::IsWindowVisible(child) && Send(child, STM_GETICON));
            } else if (box.text.empty()) {
                box.text = WindowText(child);
            }
        }
    }
    return box;
}

bool OperatorDriver::Answer(const Box& box, int button) {
    const HWND chosen = button ? ::GetDlgItem(box.window, button) : nullptr;
    ::PostMessageW(chosen ? chosen : ::FindWindowExW(box.window, nullptr, L"Button", nullptr),
                   BM_CLICK, 0, 0);
    return WaitUntil(kOutcomeTimeoutMs, [&] { return !::IsWindow(box.window); });
}

bool OperatorDriver::WaitForText(int id, const std::wstring& text, DWORD timeoutMs) const {
    return WaitUntil(timeoutMs, [&] { return Text(id) == text; });
}
