#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/IoFailure.h"

// Drives the running program from outside, the way an operator does: it types into fields,
// ticks boxes, picks list entries, presses buttons and answers message boxes, all through
// window messages to the program's own windows. Used by the end-to-end tests, the upload
// benchmark and the headless demo.
// How long the driver waits for what must happen: generous, so that only a program that never
// gets there fails, even on a cold, loaded machine.
inline constexpr DWORD kOutcomeTimeoutMs = 30000;

// Why the program's main window did not come.
enum class StartFault {
    kNotStarted, // the system did not start the program; the cause gives its words and code
    kEnded,      // the program ended before its main window appeared; the cause gives its exit code
    kOther,      // it still ran, without its main window, when the time was up
};

using StartFailure = IoFailure<StartFault>;

class OperatorDriver;

// A started program, or why there is none.
struct StartOutcome {
    std::unique_ptr<OperatorDriver> program; // null when the start failed
    StartFailure failure;                    // when the start failed

    explicit operator bool() const { return program != nullptr; }
};

class OperatorDriver {
public:
    // Starts the program in `workDir` and waits for its main window, at most `timeoutMs`.
    static StartOutcome Start(const std::wstring& program, const std::wstring& workDir,
                              DWORD timeoutMs = 2 * kOutcomeTimeoutMs);
    OperatorDriver(const OperatorDriver&) = delete;
    OperatorDriver& operator=(const OperatorDriver&) = delete;
    // Closes the program if it still runs, and ends it if it does not close (at once when its
    // main window never came, for then there is nothing to close).
    ~OperatorDriver();

    HWND MainWindow() const { return main_; }
    bool IsMinimised() const;
    void Restore();

    std::wstring Text(int id) const;
    void Type(int id, const std::wstring& text);
    bool IsChecked(int id) const;
    bool IsEnabled(int id) const;
    void SetChecked(int id, bool checked);
    // Posts the click, so a handler that blocks or opens a box does not block the driver.
    void Click(int id);
    // Clicks and returns once the program has handled the click (never for a handler that opens
    // a box: that waits for an answer).
    void ClickAndWaitForHandler(int id);
    // Presses Enter in the given control.
    void PressEnter(int id);
    // Moves the keyboard focus to the control, as Tab does.
    void Focus(int id);
    // A real key press and release (SendInput) for whatever window has the focus; it needs no
    // answer from the program, so it works while the program is busy.
    static void PressKey(WORD virtualKey);
    // Holds the key down until `release` holds, or for kOutcomeTimeoutMs at most, then lets it
    // go: the press, after 500 ms a repeat every 33 ms, each posted to the window that has the
    // focus then, as the keyboard's are. (Not SendInput: Wine lets go of a key sent so whenever
    // the focus moves to another X window, such as a new box.)
    void HoldKey(WORD virtualKey, const std::function<bool()>& release) const;
    // The program's window that has the keyboard focus (in a combo box, the edit inside it).
    HWND FocusedWindow() const;
    void ChooseListEntry(int id, int index);
    int ListSelection(int id) const;
    std::vector<std::wstring> ListEntries(int id) const;

    // A message box or prompt the program shows: its caption, text and style.
    struct Box {
        HWND window = nullptr;
        std::wstring caption;
        std::wstring text;
        bool hasIcon = false;
        int buttons = 0;
    };
    // Waits for a box owned by the main window; window is null on time-out.
    Box WaitForBox(DWORD timeoutMs) const;
    // Presses the box's button of that id (where it has none, its first: OK, or Yes) and waits
    // until the box is gone.
    bool Answer(const Box& box, int button = 0);

    bool WaitForText(int id, const std::wstring& text, DWORD timeoutMs) const;
    bool WaitForExit(DWORD timeoutMs);
    bool HasExited() const;
    DWORD ProcessId() const { return processId_; }
    HANDLE Process() const { return process_.get(); }

private:
    struct Token {}; // only Start makes drivers

public:
    explicit OperatorDriver(Token) {}

private:
    HWND Item(int id) const;

    struct HandleCloser {
        void operator()(HANDLE handle) const { ::CloseHandle(handle); }
    };
    std::unique_ptr<void, HandleCloser> process_;
    DWORD processId_ = 0;
    HWND main_ = nullptr;
};

// Polls `done` every few milliseconds until it holds or the time runs out.
template <class Condition> bool WaitUntil(DWORD timeoutMs, Condition done) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (done()) {
            return true;
        }
        if (::GetTickCount() - start >= timeoutMs) {
            return false;
        }
        ::Sleep(5);
    }
}

// The program's main window caption.
inline constexpr wchar_t kMainWindowCaption[] = L"NORVEL AXIS PANEL";
