// The main dialog against its template in res/VKD37.rc: what the resource compiler made of it,
// and the running dialog: its controls in the template's order, which is the tab order, each where
// the template places it, none over another, every one reachable from the keyboard.
#include <map>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "DialogHarness.h"
#include "ResourceScript.h"
#include "model/ParameterTable.h"
#include "platform/Text.h"

namespace {

const ScriptDialog& MainScript() {
    static const ScriptDialog dialog = ReadScriptDialog("IDD_MAIN");
    return dialog;
}

// The style the template gives a control, as the dialog manager creates it.
DWORD ScriptStyle(const ScriptControl& control) {
    static const std::map<std::string, DWORD> kNames = {
        {"WS_TABSTOP", WS_TABSTOP},
        {"WS_GROUP", WS_GROUP},
        {"WS_DISABLED", WS_DISABLED},
        {"WS_BORDER", WS_BORDER},
        {"WS_VSCROLL", WS_VSCROLL},
        {"WS_CLIPSIBLINGS", WS_CLIPSIBLINGS},
        {"ES_LEFT", ES_LEFT},
        {"ES_AUTOHSCROLL", ES_AUTOHSCROLL},
        {"CBS_DROPDOWN", CBS_DROPDOWN},
        {"CBS_SORT", CBS_SORT},
        {"BS_PUSHBUTTON", BS_PUSHBUTTON},
        {"BS_AUTORADIOBUTTON", BS_AUTORADIOBUTTON},
        {"BS_AUTOCHECKBOX", BS_AUTOCHECKBOX},
        {"SS_LEFT", SS_LEFT},
        {"SS_BITMAP", SS_BITMAP},
    };
    DWORD style = WS_CHILD | WS_VISIBLE;
    for (const std::string& name : control.styles) {
        EXPECT_TRUE(kNames.count(name)) << name;
        style |= kNames.count(name) ? kNames.at(name) : 0;
    }
    return style;
}

std::wstring ClassOf(HWND hWnd) {
    wchar_t name[64] = L"";
    ::GetClassNameW(hWnd, name, 64);
    return name;
}

DWORD StyleOf(HWND hWnd) {
    return static_cast<DWORD>(::GetWindowLongW(hWnd, GWL_STYLE));
}

// Where the control is in the dialog's client area: x, y, width, height in pixels.
RECT PlacedRect(HWND dialog, HWND control) {
    RECT rect;
    ::GetWindowRect(control, &rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}
RECT TemplateRect(HWND dialog, RECT units) {
    ::MapDialogRect(dialog, &units);
    return units;
}

class Template : public DialogTest {};

TEST_F(Template, FrameCaptionAndSize) {
    RunWithDialog([](ScriptedMainDlg& d) {
        const HWND hWnd = d.Window();
        EXPECT_EQ(Wide(MainScript().caption), WindowText(hWnd));
        LOGFONTW font{};
        ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(hWnd, WM_GETFONT, 0, 0)), sizeof font,
                     &font);
        EXPECT_EQ(Wide(MainScript().typeface), font.lfFaceName);
        const DWORD style = StyleOf(hWnd);
        const DWORD wanted = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX;
        EXPECT_EQ(wanted, style & (wanted | WS_MAXIMIZEBOX | WS_CHILD));
        EXPECT_TRUE(::GetWindowLongW(hWnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);

        RECT client;
        ::GetClientRect(hWnd, &client);
        const RECT wantedClient =
            TemplateRect(hWnd, {0, 0, MainScript().width, MainScript().height});
        EXPECT_EQ(wantedClient.right, client.right);
        EXPECT_EQ(wantedClient.bottom, client.bottom);
    });
}

// The controls in the template's order, the picture moved beneath them; each of its class, with
// the template's states and text, where the template puts it, inside the window and over no other.
TEST_F(Template, EveryControlWhereTheTemplatePutsItAndNoneOverAnother) {
    RunWithDialog([](ScriptedMainDlg& d) {
        std::vector<HWND> children;
        for (HWND child = ::GetWindow(d.Window(), GW_CHILD); child;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            children.push_back(child);
        }
        const std::vector<ScriptControl>& controls = MainScript().controls;
        ASSERT_EQ(controls.size(), children.size());
        EXPECT_EQ(IDC_STATIC, static_cast<short>(::GetDlgCtrlID(children.back())));
        RECT client;
        ::GetClientRect(d.Window(), &client);
        std::vector<RECT> taken;
        for (size_t i = 1; i < controls.size(); ++i) {
            const ScriptControl& control = controls[i];
            const HWND hWnd = children[i - 1];
            SCOPED_TRACE(control.idName);
            EXPECT_EQ(control.id, ::GetDlgCtrlID(hWnd));
            EXPECT_EQ(Wide(control.className), ClassOf(hWnd));
            // A checked radio button gives itself WS_TABSTOP.
            const DWORD states = WS_GROUP | WS_DISABLED |
                                 (control.styles[0] == "BS_AUTORADIOBUTTON" ? 0 : WS_TABSTOP);
            EXPECT_EQ(ScriptStyle(control) & states, StyleOf(hWnd) & states);
            if (control.className == "Button") {
                EXPECT_EQ(Wide(control.text), d.Text(control.id));
            }
            const RECT placed = PlacedRect(d.Window(), hWnd);
            const RECT wanted =
                TemplateRect(d.Window(), {control.x, control.y, control.width, control.height});
            EXPECT_EQ(wanted.left, placed.left);
            EXPECT_EQ(wanted.top, placed.top);
            EXPECT_EQ(wanted.right, placed.right);
            if (control.className != "ComboBox") { // its height is the list's, dropped
                EXPECT_EQ(wanted.bottom, placed.bottom);
            }
            EXPECT_TRUE(placed.left >= 0 && placed.top >= 0 &&
                        placed.left + placed.right <= client.right &&
                        placed.top + placed.bottom <= client.bottom);
            // Controls that touch in dialog units may share a pixel row once rounded.
            for (const RECT& other : taken) {
                EXPECT_FALSE(placed.left < other.left + other.right - 1 &&
                             other.left < placed.left + placed.right - 1 &&
                             placed.top < other.top + other.bottom - 1 &&
                             other.top < placed.top + placed.bottom - 1);
            }
            taken.push_back(placed);
        }
    });
}

// Tab goes through the controls in the template's order, the number boxes in the order the form
// reads them; every control that takes input is reached by Tab or, in a radio group, by the
// arrow keys.
TEST_F(Template, TabOrderIsTheTemplatesAndEveryControlIsReachable) {
    RunWithDialog([](ScriptedMainDlg& d) {
        std::vector<int> tabbed;
        std::set<int> reached;
        const HWND first = ::GetNextDlgTabItem(d.Window(), nullptr, FALSE);
        for (HWND item = first; item && (tabbed.empty() || item != first);
             item = ::GetNextDlgTabItem(d.Window(), item, FALSE)) {
            tabbed.push_back(::GetDlgCtrlID(item));
            for (HWND member = item; reached.insert(::GetDlgCtrlID(member)).second;
                 member = ::GetNextDlgGroupItem(d.Window(), member, FALSE)) {
            }
        }
        std::vector<int> inTemplateOrder, takesInput, numberBoxes, readOrder;
        for (const ScriptControl& control : MainScript().controls) {
            const HWND hWnd = d.Item(control.id);
            if (control.id == IDC_STATIC || control.className == "Static" ||
                !::IsWindowEnabled(hWnd)) {
                continue;
            }
            takesInput.push_back(control.id);
            if (StyleOf(hWnd) & WS_TABSTOP) {
                inTemplateOrder.push_back(control.id);
            }
            if (control.className == "Edit") {
                numberBoxes.push_back(control.id);
            }
        }
        EXPECT_EQ(inTemplateOrder, tabbed);
        for (const int id : takesInput) {
            EXPECT_TRUE(reached.count(id)) << id << " cannot be reached from the keyboard";
        }
        for (const FormCheck& check : FormChecks()) {
            if (check.step == FormStep::kReadNumber) {
                readOrder.push_back(NumberBoxOf(check.member));
            }
        }
        EXPECT_EQ(readOrder, numberBoxes);
    });
}

TEST_F(Template, BackgroundLiesBehindEverythingAndTakesNoInput) {
    RunWithDialog([](ScriptedMainDlg& d) {
        const HWND picture = ::GetWindow(::GetWindow(d.Window(), GW_CHILD), GW_HWNDLAST);
        const DWORD style = StyleOf(picture);
        EXPECT_EQ(static_cast<DWORD>(SS_BITMAP), style & SS_TYPEMASK);
        EXPECT_FALSE(style & (WS_TABSTOP | SS_NOTIFY));
        EXPECT_TRUE(style & WS_CLIPSIBLINGS) << "must not paint over the controls above it";
        EXPECT_EQ(HTTRANSPARENT, ::SendMessageW(picture, WM_NCHITTEST, 0, 0));
        EXPECT_TRUE(::SendMessageW(picture, WM_GETDLGCODE, 0, 0) & DLGC_STATIC);

        const auto bitmap =
            reinterpret_cast<HBITMAP>(::SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
        BITMAP info{};
        ASSERT_NE(0, ::GetObjectW(bitmap, sizeof info, &info));
        // Drawn as 989 x 676 for 7 x 15 pixels per 4 x 8 dialog units; scaled to the base units
        // the dialog got, each axis on its own.
        const RECT base = TemplateRect(d.Window(), {0, 0, 4, 8});
        const int width = static_cast<int>(989 * base.right / 7.0 + 0.5);
        const int height = static_cast<int>(676 * base.bottom / 15.0 + 0.5);
        EXPECT_EQ(width, info.bmWidth);
        EXPECT_EQ(height, info.bmHeight);

        // Shown at that size from the client area's corner.
        const RECT placed = PlacedRect(d.Window(), picture);
        EXPECT_EQ(0, placed.left);
        EXPECT_EQ(0, placed.top);
        EXPECT_EQ(width, placed.right);
        EXPECT_EQ(height, placed.bottom);
    });
}

} // namespace
