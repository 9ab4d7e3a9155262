// The form's exchange between controls and members, run on the real dialog.
#include <gtest/gtest.h>

#include "DialogHarness.h"
#include "model/ParameterTable.h"

namespace {

class DataExchange : public DialogTest {
protected:
    static int Focused() { return ::GetDlgCtrlID(::GetFocus()); }

    static void ExpectWholeTextSelected(HWND edit) {
        DWORD start = 1, end = 0;
        ::SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                       reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(0u, start);
        EXPECT_EQ(static_cast<DWORD>(::GetWindowTextLengthW(edit)), end);
    }

    static void ExpectOnePrompt(const std::wstring& text) {
        const auto& shown = MessageBoxRecorder::Boxes();
        ASSERT_EQ(1u, shown.size());
        EXPECT_EQ(text, shown[0].text);
        EXPECT_EQ(AfxGetAppName(), shown[0].caption);
        EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), shown[0].type);
    }
};

// Every range check of the form, in the parameter table's order: each bound passes, one past it
// fails with the range's prompt, keeps the value in its member and reads no button after the
// check; the focus is where the exchange last was, the box read last or, once the buttons are
// read, the last of them (auto homing).
TEST_F(DataExchange, EachRangeCheckPassesItsBoundsAndFailsOnePastThem) {
    RunWithDialog([](ScriptedMainDlg& d) {
        int focus = 0;
        for (const FormCheck& check : FormChecks()) {
            focus = check.step == FormStep::kReadNumber    ? NumberBoxOf(check.member)
                    : check.step == FormStep::kReadButtons ? IDC_AUTO_HOME
                                                           : focus;
            if (check.step != FormStep::kCheckRange) {
                continue;
            }
            const ParameterField& field = FieldFor(check.member);
            for (const auto& [good, bad] :
                 {std::pair(field.min, field.min - 1), std::pair(field.max, field.max + 1)}) {
                SCOPED_TRACE(std::string(field.name) + " " + std::to_string(bad));
                d.ApplyMissingFileValues();
                d.UpdateData(FALSE);
                d.SetText(NumberBoxOf(check.member), std::to_wstring(good).c_str());
                EXPECT_TRUE(d.UpdateData(TRUE));
                EXPECT_EQ(good, d.*check.member);
                EXPECT_TRUE(MessageBoxRecorder::Boxes().empty());

                d.m_bAutoHome = 0;
                d.SetChecked(IDC_AUTO_HOME, true);
                d.SetText(NumberBoxOf(check.member), std::to_wstring(bad).c_str());
                EXPECT_FALSE(d.UpdateData(TRUE));
                EXPECT_EQ(bad, d.*check.member);
                EXPECT_EQ(focus == IDC_AUTO_HOME, d.m_bAutoHome == 1);
                ExpectOnePrompt(RangePrompt(field.min, field.max));
                EXPECT_EQ(d.Window(), MessageBoxRecorder::Boxes()[0].owner);
                EXPECT_EQ(focus, Focused());
                if (focus != IDC_AUTO_HOME) {
                    ExpectWholeTextSelected(d.Item(focus));
                }
                MessageBoxRecorder::Boxes().clear();
            }
        }
    });
}

// Text that is not a number, or a number beyond int, stops the exchange at its box: the boxes
// before it are read, the rest not.
TEST_F(DataExchange, TextThatIsNotANumberStopsTheExchangeThere) {
    RunWithDialog([](ScriptedMainDlg& d) {
        for (const wchar_t* text : {L"12x", L"99999999999"}) {
            d.ApplyMissingFileValues();
            d.UpdateData(FALSE);
            d.SetText(IDC_FWD_ACC, L"20");
            d.SetText(IDC_CYCLES, text);
            d.SetText(IDC_HOME_DELAY, L"5");
            d.SetChecked(IDC_CYCLES_ON, true);

            EXPECT_FALSE(d.UpdateData(TRUE));

            EXPECT_EQ(20, d.m_nFwdAcc) << "exchanged before the failure";
            EXPECT_EQ(100, d.m_nCycles);
            EXPECT_EQ(2000, d.m_nHomeDelay);
            EXPECT_EQ(0, d.m_bCyclesOn);
            ExpectOnePrompt(NotAnIntegerPrompt());
            EXPECT_EQ(IDC_CYCLES, Focused());
            ExpectWholeTextSelected(d.Item(IDC_CYCLES));
            MessageBoxRecorder::Boxes().clear();
        }
    });
}

TEST_F(DataExchange, SourceOutsideTheGroupChecksNoButtonReadsBackMinusOneAndIsRefused) {
    RunWithDialog([](ScriptedMainDlg& d) {
        d.m_nFwdSource = 3;
        d.m_nRevSource = 1;
        d.UpdateData(FALSE);
        for (int id : {IDC_FWD_SRC_INTERNAL, IDC_FWD_SRC_INT_POT, IDC_FWD_SRC_EXT_POT}) {
            EXPECT_FALSE(d.IsChecked(id)) << id;
        }
        EXPECT_TRUE(d.IsChecked(IDC_REV_SRC_INT_POT));

        // Read back as -1, it is refused: sent, it would go out as 0xFF.
        EXPECT_FALSE(d.UpdateData(TRUE));
        EXPECT_EQ(-1, d.m_nFwdSource);
        EXPECT_EQ(1, d.m_nRevSource);
        ExpectOnePrompt(L"Please choose the forward speed source.");
        EXPECT_EQ(IDC_FWD_SRC_INTERNAL, Focused());
    });
}

// A flag of 2 is a state the box knows (indeterminate) but a two-state box shows it ticked and
// reads back 1: the page shows and sends the same.
TEST_F(DataExchange, FlagOutsideTheCheckStatesIsResetWhenShownAndTwoReadsBackAsOne) {
    RunWithDialog([](ScriptedMainDlg& d) {
        d.m_bCyclesOn = 5;
        d.m_bAutoHome = -1;
        d.m_bHomeDelayOn = 1;
        d.m_bEndDelayOn = 2;
        d.UpdateData(FALSE);
        EXPECT_EQ(0, d.m_bCyclesOn);
        EXPECT_EQ(0, d.m_bAutoHome);
        EXPECT_FALSE(d.IsChecked(IDC_CYCLES_ON));
        EXPECT_TRUE(d.IsChecked(IDC_HOME_DELAY_ON));
        EXPECT_TRUE(d.IsChecked(IDC_END_DELAY_ON));

        EXPECT_TRUE(d.UpdateData(TRUE));
        EXPECT_EQ(1, d.m_bEndDelayOn);
    });
}

TEST_F(DataExchange, ValuesRoundTripThroughTheControls) {
    RunWithDialog([](ScriptedMainDlg& d) {
        d.m_nFwdAcc = 0;
        d.m_nRevDec = 127;
        d.m_nCycles = 65535;
        d.m_nHomeDelay = 15;
        d.m_nFwdSource = 2;
        d.m_bEndDelayOn = 1;
        d.m_bAutoStart = 1;
        d.m_strUploadStatus = kUploadDone;
        d.UpdateData(FALSE);
        EXPECT_EQ(L"0", d.Text(IDC_FWD_ACC));
        EXPECT_EQ(L"127", d.Text(IDC_REV_DEC));
        EXPECT_EQ(L"65535", d.Text(IDC_CYCLES));
        EXPECT_EQ(kUploadDone, d.Text(IDC_UPLOAD_STATUS));

        d.m_nFwdAcc = d.m_nRevDec = d.m_nCycles = d.m_nHomeDelay = -99;
        d.m_nFwdSource = d.m_bEndDelayOn = d.m_bAutoStart = -99;
        d.m_strUploadStatus.clear();
        EXPECT_TRUE(d.UpdateData(TRUE));
        EXPECT_EQ(0, d.m_nFwdAcc);
        EXPECT_EQ(127, d.m_nRevDec);
        EXPECT_EQ(65535, d.m_nCycles);
        EXPECT_EQ(15, d.m_nHomeDelay);
        EXPECT_EQ(2, d.m_nFwdSource);
        EXPECT_EQ(1, d.m_bEndDelayOn);
        EXPECT_EQ(1, d.m_bAutoStart);
        EXPECT_EQ(kUploadDone, d.m_strUploadStatus);
    });
}

} // namespace
