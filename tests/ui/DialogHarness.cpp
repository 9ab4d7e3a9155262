#include "DialogHarness.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "store/ParameterFile.h"

namespace {

ScriptedMainDlg* g_running = nullptr;
constexpr UINT_PTR kScriptTimer = 0x5C;

// Cancels every dialog of the thread but the main one, e.g. an About box a step left open.
BOOL CALLBACK CancelOtherDialog(HWND hWnd, LPARAM mainWindow) {
    wchar_t className[16] = L"";
    ::GetClassNameW(hWnd, className, 16);
    if (std::wstring(className) == L"#32770" && hWnd != reinterpret_cast<HWND>(mainWindow)) {
        ::PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    return TRUE;
}

} // namespace

std::wstring WindowText(HWND hWnd) {
    wchar_t text[512] = L"";
    ::GetWindowTextW(hWnd, text, 512);
    return text;
}

ScratchDirectory::ScratchDirectory() : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(scratch_.Path());
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
}

std::string ScratchDirectory::ParameterFile() {
    return ReadWholeFile(kParameterFileName);
}

bool ScratchDirectory::HasParameterFile() {
    return ::GetFileAttributesA(kParameterFileName) != INVALID_FILE_ATTRIBUTES;
}

void ScratchDirectory::WriteParameterFile(const std::string& contents) {
    std::ofstream(kParameterFileName, std::ios::binary) << contents;
}

INT_PTR ScriptedMainDlg::Run() {
    g_running = this;
    const INT_PTR result = DoModal();
    g_running = nullptr;
    return result;
}

BOOL ScriptedMainDlg::OnInitDialog() {
    const BOOL result = CVKD37参数设定程序Dlg::OnInitDialog();
    startedMinimised = IsIconic() != FALSE;
    // Focus checks need the window up, not a task-bar button.
    ShowWindow(SW_RESTORE);
    ::SetTimer(m_hWnd, kScriptTimer, 10, &ScriptedMainDlg::OnTick);
    return result;
}

void CALLBACK ScriptedMainDlg::OnTick(HWND, UINT, UINT_PTR, DWORD) {
    ScriptedMainDlg* self = g_running;
    if (!self || self->ended_ || !self->m_hWnd) {
        return;
    }
    if (++self->ticks_ > kMaxTicks) {
        self->ended_ = true;
        ::EnumThreadWindows(::GetCurrentThreadId(), &CancelOtherDialog,
                            reinterpret_cast<LPARAM>(self->m_hWnd));
        self->EndDialog(static_cast<int>(kTimedOut));
        return;
    }
    if (self->nextStep_ < self->steps_.size()) {
        // Counted before it runs: a step that opens a modal box lets the next one run inside.
        const Step& step = self->steps_[self->nextStep_++];
        step(*self);
        return;
    }
    self->ended_ = true;
    self->EndDialog(static_cast<int>(kScriptDone));
}

std::wstring ScriptedMainDlg::Text(int id) const {
    return WindowText(GetDlgItem(id));
}

bool ScriptedMainDlg::IsChecked(int id) const {
    return ::SendMessageW(GetDlgItem(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void ScriptedMainDlg::SetChecked(int id, bool checked) {
    ::SendMessageW(GetDlgItem(id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void ScriptedMainDlg::Click(int id) {
    SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(id)));
}

void ScriptedMainDlg::SelectPort(int index) {
    const HWND combo = GetDlgItem(IDC_PORT);
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessage(WM_COMMAND, MAKEWPARAM(IDC_PORT, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}
