#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>

#include "Scratch.h"
#include "res/resource.h"
#include "ui/StatusLook.h"
#include "ui/VKD37Dlg.h"
#include "ui/framework/DataExchange.h"
#include "ui/framework/MessageBox.h"

// Answers every message box with IDOK and keeps what it would have shown, and what the main
// dialog's upload status showed at that moment.
struct ShownBox {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT type;
    std::wstring uploadStatusShown;
    bool uploadStatusAwaitingPaint;
};

class MessageBoxRecorder {
public:
    MessageBoxRecorder() : previous_(SetMessageBoxFunction(&Record)) { Boxes().clear(); }
    ~MessageBoxRecorder() { SetMessageBoxFunction(previous_); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    static std::vector<ShownBox>& Boxes() {
        static std::vector<ShownBox> boxes;
        return boxes;
    }

private:
    static int Record(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type) {
        const HWND status = ::GetDlgItem(owner, IDC_UPLOAD_STATUS);
        wchar_t shown[64] = L"";
        ::GetWindowTextW(status, shown, 64);
        Boxes().push_back({owner, text, caption, type, shown,
                           status && ::GetUpdateRect(status, nullptr, FALSE) != FALSE});
        return IDOK;
    }

    MessageBoxFunction previous_;
};

// Runs an empty working directory for the test, so the parameter file is the test's own.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    // The parameter file's contents; empty when there is none.
    static std::string ParameterFile();
    static bool HasParameterFile();
    static void WriteParameterFile(const std::string& contents);

private:
    ScratchFolder scratch_{"vkd37-ui"};
    std::filesystem::path previous_;
};

// The real main dialog, run modally and driven by a script: each timer tick runs the next step
// inside the dialog's own message loop. A step may open a nested modal loop (the About box);
// the ticks go on in there. After the last step the dialog is ended with kScriptDone unless a
// step ended it; a script that never finishes is cut off after kMaxTicks.
class ScriptedMainDlg : public CVKD37参数设定程序Dlg {
public:
    static constexpr INT_PTR kScriptDone = 0x5C1;
    static constexpr INT_PTR kTimedOut = 0x7117;

    using Step = std::function<void(ScriptedMainDlg&)>;
    ScriptedMainDlg& Then(Step step) {
        steps_.push_back(std::move(step));
        return *this;
    }
    INT_PTR Run();
    // Called by a step that found the window not ready yet: it runs again on the next tick.
    void Again() { --nextStep_; }

    bool startedMinimised = false;

    // What the tests look at.
    using CVKD37参数设定程序Dlg::m_cboPort;
    using CVKD37参数设定程序Dlg::m_hIcon;
    using CVKD37参数设定程序Dlg::m_strUploadStatus;
    HWND Window() const { return m_hWnd; }
    HWND Item(int id) const { return GetDlgItem(id); }
    std::wstring Text(int id) const;
    void SetText(int id, const wchar_t* text) { SetDlgItemText(id, text); }
    bool IsChecked(int id) const;
    void SetChecked(int id, bool checked);
    // As if the user had clicked the button.
    void Click(int id);
    void SelectPort(int index);

protected:
    BOOL OnInitDialog() override;

private:
    static void CALLBACK OnTick(HWND hWnd, UINT, UINT_PTR, DWORD);
    static constexpr int kMaxTicks = 3000; // 30 s at least: generous on a cold machine

    std::vector<Step> steps_;
    size_t nextStep_ = 0;
    int ticks_ = 0;
    bool ended_ = false;
};

// The prompts the form shows when a value fails.
inline std::wstring NotAnIntegerPrompt() {
    return L"Please enter an integer.";
}
inline std::wstring RangePrompt(int minVal, int maxVal) {
    return L"Please enter an integer between " + std::to_wstring(minVal) + L" and " +
           std::to_wstring(maxVal) + L".";
}

// Window text of any window.
std::wstring WindowText(HWND hWnd);

// Runs the real main dialog in a scratch working directory, with every box answered.
class DialogTest : public ::testing::Test {
protected:
    ScratchDirectory scratch;
    MessageBoxRecorder boxes;
    ScriptedMainDlg dlg;

    // Runs `check` once the dialog is up.
    void RunWithDialog(const ScriptedMainDlg::Step& check) {
        dlg.Then(check);
        ASSERT_EQ(ScriptedMainDlg::kScriptDone, dlg.Run());
    }
};
