// Start-up, handlers and window chrome of the main dialog, run in-process with no COM port.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "DialogHarness.h"
#include "HeldFile.h"
#include "SettingsFiles.h"
#include "model/ParameterTable.h"
#include "store/ParameterFile.h"
#include "platform/Text.h"
#include "ui/framework/InputQueue.h"

namespace {

class MainDialog : public DialogTest {
protected:
    static const std::vector<ShownBox>& Shown() { return MessageBoxRecorder::Boxes(); }
};

// The settings file's full name, as the boxes about it name it.
std::wstring SettingsFilePath() {
    return std::filesystem::absolute(kParameterFileName).wstring();
}

bool Contains(const std::wstring& text, const std::wstring& part) {
    return text.find(part) != std::wstring::npos;
}

TEST_F(MainDialog, FirstStartWithoutFileOrPort) {
    RunWithDialog([](ScriptedMainDlg& d) {
        EXPECT_TRUE(d.startedMinimised);
        const HWND combo = d.Item(IDC_PORT);
        ASSERT_EQ(10, ::SendMessageW(combo, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < 10; ++i) {
            wchar_t entry[16] = L"";
            ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                           reinterpret_cast<LPARAM>(entry));
            EXPECT_EQ(L"Com" + std::to_wstring(i), entry);
        }
        EXPECT_EQ(0, d.m_cboPort.GetCurSel());
        EXPECT_EQ(L"Com0", d.Text(IDC_PORT));
        EXPECT_EQ(kPortNotOpened, d.Text(IDC_PORT_STATUS));

        ParameterSet start;
        ReadParameterText(settings_files::kStartValues, start);
        for (const FormCheck& check : FormChecks()) {
            if (check.step == FormStep::kReadNumber) {
                EXPECT_EQ(std::to_wstring(start.*check.member), d.Text(NumberBoxOf(check.member)));
            }
        }
        EXPECT_TRUE(d.IsChecked(IDC_FWD_SRC_INTERNAL));
        EXPECT_TRUE(d.IsChecked(IDC_REV_SRC_INTERNAL));
        EXPECT_TRUE(d.IsChecked(IDC_LEGEND_ON));
        EXPECT_FALSE(d.IsChecked(IDC_LEGEND_OFF));
        EXPECT_FALSE(d.IsChecked(IDC_CYCLES_ON));
        EXPECT_EQ(L"", d.Text(IDC_UPLOAD_STATUS));
        EXPECT_EQ(1, d.m_bLegendOn);
    });
    EXPECT_TRUE(Shown().empty());
    EXPECT_FALSE(ScratchDirectory::HasParameterFile()) << "nothing is saved on closing";
}

TEST_F(MainDialog, LoadsTheFileAndSelectsNothingForPortMinusOne) {
    ScratchDirectory::WriteParameterFile("-1 2 5 60 7 1 127 1 0 300 15 16777210 1 0 7 1 ");
    RunWithDialog([](ScriptedMainDlg& d) {
        EXPECT_EQ(CB_ERR, d.m_cboPort.GetCurSel());
        EXPECT_EQ(kPortNotOpened, d.Text(IDC_PORT_STATUS));
        EXPECT_EQ(-1, d.m_nPort);
        EXPECT_TRUE(d.IsChecked(IDC_FWD_SRC_EXT_POT));
        EXPECT_TRUE(d.IsChecked(IDC_REV_SRC_INT_POT));
        EXPECT_EQ(L"5", d.Text(IDC_FWD_ACC));
        EXPECT_EQ(L"127", d.Text(IDC_REV_DEC));
        EXPECT_EQ(L"0", d.Text(IDC_REV_ACC));
        EXPECT_EQ(L"16777210", d.Text(IDC_END_DELAY));
        EXPECT_TRUE(d.IsChecked(IDC_CYCLES_ON));
        EXPECT_EQ(0, d.m_bEndDelayOn) << "a flag of 7 is reset when shown";
        EXPECT_TRUE(d.IsChecked(IDC_AUTO_HOME));
    });
}

// A file that is there but cannot be read is named at start, with why; the dialog then shows the
// start values as for no file. A short file loads what it has without a word, as ever.
TEST_F(MainDialog, AFileThatCannotBeReadIsNamedAtStart) {
    const std::string everyValue = settings_files::EveryValueWith(0, "3");
    struct Case {
        const char* name;
        const wchar_t* cause; // nothing for no box
    };
    for (const Case& c : {Case{"held", L"Another program holds the file"},
                          Case{"a folder", L"a folder or a device, not to a file.\n\nThe values "
                                           L"shown are the start values, not the saved ones. "
                                           L"Uploads cannot save there."},
                          Case{"3 1", nullptr}}) {
        SCOPED_TRACE(c.name);
        MessageBoxRecorder::Boxes().clear();
        std::filesystem::remove_all(kParameterFileName);
        const bool folder = std::string(c.name) == "a folder";
        if (folder) {
            std::filesystem::create_directory(kParameterFileName);
        } else {
            ScratchDirectory::WriteParameterFile(c.cause ? everyValue : c.name);
        }
        std::optional<HeldFile> held;
        if (std::string(c.name) == "held") {
            held.emplace(Wide(kParameterFileName), HeldFile::Hold::kUnshared);
            ASSERT_TRUE(held->IsHeld());
        }
        ScriptedMainDlg d;
        HWND window = nullptr;
        d.Then([&](ScriptedMainDlg& shown) {
            window = shown.Window();
            if (c.cause) {
                EXPECT_EQ(L"108", shown.Text(IDC_FWD_SPEED)) << "the start values";
                EXPECT_TRUE(shown.IsChecked(IDC_FWD_SRC_INTERNAL));
                EXPECT_EQ(0, shown.m_cboPort.GetCurSel());
            } else {
                EXPECT_EQ(3, shown.m_cboPort.GetCurSel());
                EXPECT_TRUE(shown.IsChecked(IDC_FWD_SRC_INT_POT));
                EXPECT_EQ(L"0", shown.Text(IDC_FWD_SPEED));
            }
        });
        ASSERT_EQ(ScriptedMainDlg::kScriptDone, d.Run());
        if (!c.cause) {
            EXPECT_TRUE(Shown().empty());
            continue;
        }
        ASSERT_EQ(1u, Shown().size());
        const std::wstring& text = Shown()[0].text;
        EXPECT_TRUE(Contains(text, SettingsFilePath())) << Utf8(text);
        EXPECT_TRUE(Contains(text, c.cause)) << Utf8(text);
        EXPECT_TRUE(Contains(text, L"The values shown are the start values")) << Utf8(text);
        EXPECT_EQ(window, Shown()[0].owner);
        EXPECT_EQ(L"ui_dialog_tests", Shown()[0].caption);
    }
    std::filesystem::remove_all(kParameterFileName);
}

TEST_F(MainDialog, SyncCrossesTheRampsAndSavesNothing) {
    RunWithDialog([](ScriptedMainDlg& d) {
        d.SetText(IDC_FWD_ACC, L"5");
        d.SetText(IDC_FWD_SPEED, L"60");
        d.SetText(IDC_FWD_DEC, L"7");
        d.SetChecked(IDC_FWD_SRC_INTERNAL, false);
        d.SetChecked(IDC_FWD_SRC_EXT_POT, true);
        d.SetText(IDC_CYCLES, L"321");
        d.Click(IDC_SYNC);

        EXPECT_EQ(L"7", d.Text(IDC_REV_ACC));
        EXPECT_EQ(L"60", d.Text(IDC_REV_SPEED));
        EXPECT_EQ(L"5", d.Text(IDC_REV_DEC));
        EXPECT_TRUE(d.IsChecked(IDC_REV_SRC_EXT_POT));
        EXPECT_FALSE(d.IsChecked(IDC_REV_SRC_INTERNAL));
        EXPECT_EQ(L"321", d.Text(IDC_CYCLES));
        EXPECT_EQ(L"", d.Text(IDC_UPLOAD_STATUS));
    });
    EXPECT_TRUE(Shown().empty());
    EXPECT_FALSE(ScratchDirectory::HasParameterFile());
}

TEST_F(MainDialog, SyncWithAFailingValueCopiesNothing) {
    RunWithDialog([](ScriptedMainDlg& d) {
        d.SetText(IDC_FWD_ACC, L"200");
        d.Click(IDC_SYNC);
        EXPECT_EQ(L"10", d.Text(IDC_REV_DEC));
        EXPECT_EQ(10, d.m_nRevDec);
        ASSERT_EQ(1u, MessageBoxRecorder::Boxes().size());
        EXPECT_EQ(RangePrompt(0, 127), MessageBoxRecorder::Boxes()[0].text);
        EXPECT_EQ(IDC_END_DELAY, ::GetDlgCtrlID(::GetFocus()));
    });
}

TEST_F(MainDialog, UploadWithoutAPortFailsAndSavesAllTheSame) {
    RunWithDialog([](ScriptedMainDlg& d) {
        d.Click(IDC_UPLOAD);
        ASSERT_EQ(1u, MessageBoxRecorder::Boxes().size());
        const ShownBox& box = MessageBoxRecorder::Boxes()[0];
        EXPECT_EQ(kUploadFailed, box.text);
        // No caption of its own: the program file's name, here the test's.
        EXPECT_EQ(L"ui_dialog_tests", box.caption);
        EXPECT_EQ(static_cast<UINT>(MB_OK), box.type);
        EXPECT_EQ(d.Window(), box.owner);
        // While the box is up the status still says what the send was doing, already painted.
        EXPECT_EQ(kUploading, box.uploadStatusShown);
        EXPECT_FALSE(box.uploadStatusAwaitingPaint);
        EXPECT_EQ(kUploadFailed, d.Text(IDC_UPLOAD_STATUS));
        EXPECT_EQ(kUploadFailed, d.m_strUploadStatus);
    });
    EXPECT_EQ(settings_files::kStartValues, ScratchDirectory::ParameterFile());
}

// After the upload's own outcome, one box names the file and why it was not saved; the status
// stays the upload's, and the file as it was.
TEST_F(MainDialog, AFailedSaveIsNamedAfterTheUploadsOutcome) {
    const std::string old = settings_files::EveryValueWith(0, "3");
    struct Case {
        const char* name;
        const wchar_t* cause;
    };
    for (const Case& c :
         {Case{"read-only", L"It is read-only"}, Case{"held", L"Another program holds the file"},
          Case{"save lock held", L"Another program holds the file"},
          Case{"a folder", L"a folder or a device"}}) {
        SCOPED_TRACE(c.name);
        MessageBoxRecorder::Boxes().clear();
        std::filesystem::remove_all(kParameterFileName);
        const std::string name = c.name;
        ScratchDirectory::WriteParameterFile(old);
        if (name == "read-only") {
            ASSERT_TRUE(
                ::SetFileAttributesW(Wide(kParameterFileName).c_str(), FILE_ATTRIBUTE_READONLY));
        }
        ScriptedMainDlg d;
        d.Then([&](ScriptedMainDlg& shown) {
            if (name == "a folder") {
                std::filesystem::remove(kParameterFileName);
                std::filesystem::create_directory(kParameterFileName);
            }
            const HeldFile held(Wide(kParameterFileName), name == "held"
                                                              ? HeldFile::Hold::kUnshared
                                                              : HeldFile::Hold::kSaveLock);
            ASSERT_TRUE(held.IsHeld() || name == "read-only" || name == "a folder");
            shown.Click(IDC_UPLOAD);
            EXPECT_EQ(kUploadFailed, shown.Text(IDC_UPLOAD_STATUS));
        });
        ASSERT_EQ(ScriptedMainDlg::kScriptDone, d.Run());
        ASSERT_EQ(2u, Shown().size());
        EXPECT_EQ(kUploadFailed, Shown()[0].text);
        const std::wstring& text = Shown()[1].text;
        EXPECT_TRUE(Contains(text, L"Cannot save the settings file")) << Utf8(text);
        EXPECT_TRUE(Contains(text, SettingsFilePath())) << Utf8(text);
        EXPECT_TRUE(Contains(text, c.cause)) << Utf8(text);
        EXPECT_EQ(Shown()[0].owner, Shown()[1].owner);
        EXPECT_EQ(kUploadFailed, Shown()[1].uploadStatusShown);
        if (name != "a folder") {
            EXPECT_EQ(old, ScratchDirectory::ParameterFile());
        }
        ::SetFileAttributesW(Wide(kParameterFileName).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    std::filesystem::remove_all(kParameterFileName);
}

// A source the buttons cannot show reads back as no button checked, and would go out as 0xFF:
// the form asks for one instead, before anything is sent or saved.
TEST_F(MainDialog, UploadRefusesASourceNoButtonShows) {
    struct Case {
        const char* file;
        const wchar_t* prompt;
        int focus;
    };
    for (const Case& c : {Case{"0 3 10 108 10 0 10 108 10 100 2000 2000 0 0 0 0 ",
                               L"Please choose the forward speed source.", IDC_FWD_SRC_INTERNAL},
                          Case{"0 0 10 108 10 -1 10 108 10 100 2000 2000 0 0 0 0 ",
                               L"Please choose the reverse speed source.", IDC_REV_SRC_INTERNAL}}) {
        SCOPED_TRACE(c.file);
        MessageBoxRecorder::Boxes().clear();
        ScratchDirectory::WriteParameterFile(c.file);
        ScriptedMainDlg d;
        d.Then([&](ScriptedMainDlg& shown) {
            shown.Click(IDC_UPLOAD);
            ASSERT_EQ(1u, Shown().size());
            EXPECT_EQ(c.prompt, Shown()[0].text);
            EXPECT_EQ(c.focus, ::GetDlgCtrlID(::GetFocus()));
            EXPECT_EQ(L"", shown.Text(IDC_UPLOAD_STATUS));
            // Once one is chosen, the upload goes ahead.
            shown.SetChecked(c.focus + 2, true);
            shown.Click(IDC_UPLOAD);
            EXPECT_EQ(kUploadFailed, shown.Text(IDC_UPLOAD_STATUS));
        });
        ASSERT_EQ(ScriptedMainDlg::kScriptDone, d.Run());
        ASSERT_EQ(2u, Shown().size());
        EXPECT_EQ(kUploadFailed, Shown()[1].text);
        EXPECT_EQ(2, c.focus == IDC_FWD_SRC_INTERNAL ? d.m_nFwdSource : d.m_nRevSource);
    }
}

// A port typed into the box is taken on Enter and as Tab leaves the box, as if chosen; a name no
// entry has is refused with a prompt naming it, the focus back in the box, text selected.
TEST_F(MainDialog, APortTypedIsTakenOnEnterAndOnLeavingTheBox) {
    for (const WPARAM key : {VK_RETURN, VK_TAB}) {
        for (const std::wstring typed : {L" cOM3\t", L"Com12"}) {
            dlg.Then([=](ScriptedMainDlg& d) {
                MessageBoxRecorder::Boxes().clear();
                d.SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(d.Item(IDC_PORT)), TRUE);
                ::SendMessageW(::GetFocus(), EM_SETSEL, 0, -1);
                for (const wchar_t c : L"\b" + typed) {
                    ::SendMessageW(d.Item(IDC_PORT), WM_CHAR, c, 0);
                }
                ::PostMessageW(::GetFocus(), WM_KEYDOWN, key, 1);
            });
            dlg.Then([=](ScriptedMainDlg& d) {
                if (typed != L"Com12") {
                    EXPECT_EQ(L"Com3", d.Text(IDC_PORT)) << "the entry, as if chosen";
                    return;
                }
                ASSERT_EQ(1u, Shown().size());
                EXPECT_EQ(L"Please choose the COM port: there is no \"Com12\" in the list.",
                          Shown()[0].text);
                EXPECT_TRUE(::IsChild(d.Item(IDC_PORT), ::GetFocus()));
                EXPECT_EQ(MAKELRESULT(0, 5), ::SendMessageW(::GetFocus(), EM_GETSEL, 0, 0));
            });
        }
    }
    EXPECT_EQ(ScriptedMainDlg::kScriptDone, dlg.Run()) << "Enter in the box closed the dialog";
}

TEST_F(MainDialog, UploadWithAFailingValueSendsAndSavesNothing) {
    RunWithDialog([](ScriptedMainDlg& d) {
        d.SetText(IDC_FWD_SPEED, L"0");
        d.Click(IDC_UPLOAD);
        ASSERT_EQ(1u, MessageBoxRecorder::Boxes().size());
        EXPECT_EQ(RangePrompt(1, 128), MessageBoxRecorder::Boxes()[0].text);
        EXPECT_EQ(L"", d.Text(IDC_UPLOAD_STATUS));
        EXPECT_EQ(IDC_END_DELAY, ::GetDlgCtrlID(::GetFocus()));
    });
    EXPECT_FALSE(ScratchDirectory::HasParameterFile());
}

// An automatic radio button reached by an arrow key is checked; the arrows in the check boxes
// must stay among them.
TEST_F(MainDialog, ArrowKeysInTheOptionsLeaveTheReverseSourceAlone) {
    ScratchDirectory::WriteParameterFile("0 0 10 108 10 2 10 108 10 100 2000 2000 0 0 0 1 ");
    dlg.Then([](ScriptedMainDlg& d) {
        const HWND autoHome = d.Item(IDC_AUTO_HOME);
        d.SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(autoHome), TRUE);
        ::PostMessageW(autoHome, WM_KEYDOWN, VK_DOWN, 1);
        ::PostMessageW(autoHome, WM_KEYUP, VK_DOWN, 0xC0000001);
    });
    dlg.Then([](ScriptedMainDlg& d) {
        EXPECT_EQ(IDC_CYCLES_ON, ::GetDlgCtrlID(::GetFocus())) << "wraps within the options";
        EXPECT_TRUE(d.IsChecked(IDC_REV_SRC_EXT_POT));
        EXPECT_FALSE(d.IsChecked(IDC_REV_SRC_INTERNAL));
        EXPECT_TRUE(d.UpdateData(TRUE));
        EXPECT_EQ(kSpeedExternalPot, d.m_nRevSource);
        EXPECT_EQ(0, d.m_bCyclesOn);
    });
    EXPECT_EQ(ScriptedMainDlg::kScriptDone, dlg.Run());
}

TEST_F(MainDialog, StatusColoursUseTwoBrushesMadeOnce) {
    HBRUSH firstPortBrush = nullptr;
    HBRUSH firstUploadBrush = nullptr;
    const auto colourOf = [](ScriptedMainDlg& d, int id, HDC dc) {
        return reinterpret_cast<HBRUSH>(d.SendMessage(
            WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(d.Item(id))));
    };
    RunWithDialog([&](ScriptedMainDlg& d) {
        const HDC dc = ::CreateCompatibleDC(nullptr);
        firstPortBrush = colourOf(d, IDC_PORT_STATUS, dc);
        EXPECT_EQ(kStatusBackground, ::GetBkColor(dc));
        EXPECT_EQ(kStatusText, ::GetTextColor(dc));
        firstUploadBrush = colourOf(d, IDC_UPLOAD_STATUS, dc);
        EXPECT_EQ(kStatusBackground, ::GetBkColor(dc)) << "text on a lighter band";
        EXPECT_EQ(firstPortBrush, colourOf(d, IDC_PORT_STATUS, dc));
        EXPECT_EQ(firstUploadBrush, colourOf(d, IDC_UPLOAD_STATUS, dc));
        const HBRUSH other = colourOf(d, IDC_AUTO_HOME, dc);
        EXPECT_NE(firstPortBrush, other);
        EXPECT_NE(firstUploadBrush, other);
        ::DeleteDC(dc);
    });
    LOGBRUSH port{}, upload{};
    ASSERT_NE(0, ::GetObjectW(firstPortBrush, sizeof port, &port));
    ASSERT_NE(0, ::GetObjectW(firstUploadBrush, sizeof upload, &upload));
    EXPECT_EQ(kStatusBackground, port.lbColor);
    EXPECT_EQ(kUploadStatusField, upload.lbColor);

    // A second window of the same program reuses them.
    ScriptedMainDlg second;
    second.Then([&](ScriptedMainDlg& d) {
        const HDC dc = ::CreateCompatibleDC(nullptr);
        EXPECT_EQ(firstPortBrush, colourOf(d, IDC_PORT_STATUS, dc));
        EXPECT_EQ(firstUploadBrush, colourOf(d, IDC_UPLOAD_STATUS, dc));
        ::DeleteDC(dc);
    });
    EXPECT_EQ(ScriptedMainDlg::kScriptDone, second.Run());
}

TEST_F(MainDialog, SystemMenuEndsWithTheAboutItem) {
    RunWithDialog([](ScriptedMainDlg& d) {
        const HMENU menu = ::GetSystemMenu(d.Window(), FALSE);
        const int count = ::GetMenuItemCount(menu);
        ASSERT_GE(count, 2);
        EXPECT_EQ(static_cast<UINT>(MF_SEPARATOR),
                  ::GetMenuState(menu, static_cast<UINT>(count - 2), MF_BYPOSITION) & MF_SEPARATOR);
        EXPECT_EQ(static_cast<UINT>(IDM_ABOUTBOX), ::GetMenuItemID(menu, count - 1));
        wchar_t text[64] = L"";
        ::GetMenuStringW(menu, static_cast<UINT>(count - 1), text, 64, MF_BYPOSITION);
        EXPECT_EQ(L"关于 VKD-37参数设定程序(&A)...", std::wstring(text));
    });
}

BOOL CALLBACK KeepIfAboutBox(HWND hWnd, LPARAM found) {
    if (WindowText(hWnd) == L"About NORVEL AXIS PANEL") {
        *reinterpret_cast<HWND*>(found) = hWnd;
        return FALSE;
    }
    return TRUE;
}

// Finds the About box among this thread's windows.
HWND FindAboutBox() {
    HWND found = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), &KeepIfAboutBox, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Another window of the program, active meanwhile.
struct ActiveOtherWindow {
    ActiveOtherWindow()
        : hWnd(::CreateWindowExW(0, L"Static", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                 nullptr, nullptr, nullptr, nullptr)) {
        ::SetActiveWindow(hWnd);
    }
    ~ActiveOtherWindow() { ::DestroyWindow(hWnd); }
    ActiveOtherWindow(const ActiveOtherWindow&) = delete;
    ActiveOtherWindow& operator=(const ActiveOtherWindow&) = delete;
    HWND hWnd;
};

TEST_F(MainDialog, AboutItemOpensTheAboutBoxAndItsButtonClosesIt) {
    bool seen = false;
    dlg.Then([](ScriptedMainDlg& d) {
        // Chosen from the task-bar button, the main window need not be the active one.
        const ActiveOtherWindow other;
        ASSERT_EQ(other.hWnd, ::GetActiveWindow());
        // Returns once the About box has been closed by the next step.
        d.SendMessage(WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        EXPECT_EQ(nullptr, FindAboutBox());
    });
    dlg.Then([&seen](ScriptedMainDlg& d) {
        const HWND about = FindAboutBox();
        // The modal loop shows the box once its queue is empty; until then wait.
        if (!about || !::IsWindowVisible(about)) {
            d.Again();
            return;
        }
        seen = true;
        EXPECT_EQ(d.Window(), ::GetWindow(about, GW_OWNER));
        EXPECT_FALSE(::IsWindowEnabled(d.Window())) << "the About box is modal";
        std::vector<std::wstring> texts;
        for (HWND child = ::GetWindow(about, GW_CHILD); child;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            texts.push_back(WindowText(child));
        }
        ASSERT_EQ(4u, texts.size());
        EXPECT_EQ(L"NORVEL AXIS PANEL", texts[1]);
        EXPECT_EQ(L"Copyright (C) 2026", texts[2]);
        EXPECT_EQ(L"确定", WindowText(::GetDlgItem(about, IDOK)));
        ::SendMessageW(::GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    });
    ASSERT_EQ(ScriptedMainDlg::kScriptDone, dlg.Run());
    EXPECT_TRUE(seen);
}

TEST_F(MainDialog, OtherSystemCommandsKeepTheirDefault) {
    RunWithDialog([](ScriptedMainDlg& d) {
        d.SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
        EXPECT_TRUE(d.IsIconic());
        EXPECT_EQ(nullptr, FindAboutBox());
        // Minimised, the icon stands for the window, also when dragged.
        EXPECT_EQ(reinterpret_cast<LRESULT>(d.m_hIcon), d.SendMessage(WM_QUERYDRAGICON));
        EXPECT_EQ(reinterpret_cast<LRESULT>(d.m_hIcon), d.SendMessage(WM_GETICON, ICON_BIG));
        EXPECT_EQ(reinterpret_cast<LRESULT>(d.m_hIcon), d.SendMessage(WM_GETICON, ICON_SMALL));
        EXPECT_NE(nullptr, d.m_hIcon);
    });
}

// A key held down (its key-down repeating, bit 30 set) presses no button; a new press does.
TEST_F(MainDialog, EnterWithValidValuesClosesWithoutSaving) {
    dlg.Then([](ScriptedMainDlg& d) {
        const HWND edit = d.Item(IDC_CYCLES);
        ::SetFocus(edit);
        ::PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0x40000001);
        ::PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 1);
    });
    dlg.Then([](ScriptedMainDlg&) { ADD_FAILURE() << "Enter did not close the dialog"; });
    EXPECT_EQ(IDOK, dlg.Run());
    EXPECT_TRUE(MessageBoxRecorder::Boxes().empty());
    EXPECT_FALSE(ScratchDirectory::HasParameterFile());
}

TEST_F(MainDialog, EnterWithAnInvalidValuePromptsAndStaysOpen) {
    dlg.Then([](ScriptedMainDlg& d) {
        const HWND edit = d.Item(IDC_FWD_DEC);
        d.SetText(IDC_FWD_DEC, L"128");
        ::SetFocus(edit);
        ::PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 1);
    });
    dlg.Then([](ScriptedMainDlg& d) {
        ASSERT_EQ(1u, MessageBoxRecorder::Boxes().size());
        EXPECT_EQ(RangePrompt(0, 127), MessageBoxRecorder::Boxes()[0].text);
        EXPECT_TRUE(::IsWindowVisible(d.Window()));
    });
    EXPECT_EQ(ScriptedMainDlg::kScriptDone, dlg.Run());
    EXPECT_FALSE(ScratchDirectory::HasParameterFile());
}

TEST_F(MainDialog, EscapeClosesAtOnce) {
    dlg.Then([](ScriptedMainDlg& d) {
        d.SetText(IDC_FWD_DEC, L"not a number");
        const HWND edit = d.Item(IDC_FWD_DEC);
        ::SetFocus(edit);
        ::PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0x40000001); // held: no prompt, no upload
        ::PostMessageW(d.Item(IDC_UPLOAD), WM_KEYDOWN, VK_SPACE, 0x40000001);
        ::PostMessageW(d.Item(IDC_UPLOAD), WM_KEYUP, VK_SPACE, 0xC0000001);
        ::PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 1);
    });
    dlg.Then([](ScriptedMainDlg&) { ADD_FAILURE() << "Escape did not close the dialog"; });
    EXPECT_EQ(IDCANCEL, dlg.Run());
    EXPECT_TRUE(MessageBoxRecorder::Boxes().empty());
}

// A dialog whose drag-icon handler causes a nested dispatch that declines its message, as a
// handler showing a box lets WM_PAINT through meanwhile.
class NestingDlg : public CDialogEx {
public:
    NestingDlg() : CDialogEx(IDD_ABOUTBOX) {}
    LRESULT answer = 0;
    const HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));

protected:
    const MessageMapEntry* GetMessageMap() const override;
    BOOL OnInitDialog() override {
        CDialogEx::OnInitDialog();
        answer = SendMessage(WM_QUERYDRAGICON);
        EndDialog(IDOK);
        return TRUE;
    }
    void OnPaint() { CDialogEx::OnPaint(); }
    HICON OnQueryDragIcon() {
        SendMessage(WM_PAINT);
        return icon;
    }
};

BEGIN_MESSAGE_MAP(NestingDlg)
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
END_MESSAGE_MAP()

TEST(DialogFramework, NestedDispatchKeepsTheOuterHandlersAnswer) {
    NestingDlg dlg;
    EXPECT_EQ(IDOK, dlg.DoModal());
    ASSERT_NE(nullptr, dlg.icon);
    EXPECT_EQ(reinterpret_cast<LRESULT>(dlg.icon), dlg.answer);
}

} // namespace

// Input dropped after a send must not take a pending quit with it.
TEST(DialogFramework, DiscardingInputKeepsAQuitRequest) {
    ::PostMessageW(nullptr, WM_KEYDOWN, VK_SPACE, 0);
    ::PostQuitMessage(7);
    DiscardQueuedInput();
    MSG msg{};
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(7u, msg.wParam);
    EXPECT_FALSE(::PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE));
}
