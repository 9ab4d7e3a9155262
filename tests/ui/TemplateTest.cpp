// The main dialog as its template builds it: every control's id, class, style, place and order.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "DialogHarness.h"

namespace {

enum class Kind { kEdit, kCombo, kPush, kStatic, kRadio, kCheck };

struct ExpectedControl {
    int id;
    Kind kind;
    DWORD extraStyle; // WS_GROUP, WS_DISABLED
    RECT dialogUnits; // x, y, width, height
};

constexpr DWORD kNone = 0;

// In template order, which is also the tab order; the background picture comes before them.
const std::vector<ExpectedControl>& ExpectedControls() {
    static const std::vector<ExpectedControl> controls = {
        {IDC_FWD_ACC, Kind::kEdit, kNone, {73, 107, 39, 12}},
        {IDC_FWD_SPEED, Kind::kEdit, kNone, {147, 86, 39, 11}},
        {IDC_FWD_DEC, Kind::kEdit, kNone, {294, 107, 40, 11}},
        {IDC_REV_ACC, Kind::kEdit, kNone, {71, 202, 39, 12}},
        {IDC_REV_SPEED, Kind::kEdit, kNone, {149, 182, 39, 11}},
        {IDC_REV_DEC, Kind::kEdit, kNone, {293, 201, 40, 12}},
        {IDC_CYCLES, Kind::kEdit, kNone, {466, 156, 73, 16}},
        {IDC_HOME_DELAY, Kind::kEdit, kNone, {466, 176, 73, 16}},
        {IDC_END_DELAY, Kind::kEdit, kNone, {466, 195, 73, 16}},
        {IDC_PORT, Kind::kCombo, kNone, {449, 106, 80, 117}},
        {IDC_UPLOAD, Kind::kPush, kNone, {419, 253, 88, 24}},
        {IDC_SYNC, Kind::kPush, kNone, {3, 151, 55, 18}},
        {IDC_PORT_STATUS, Kind::kStatic, WS_GROUP, {416, 122, 108, 13}},
        {IDC_FWD_SRC_INTERNAL, Kind::kRadio, WS_GROUP, {111, 74, 8, 10}},
        {IDC_FWD_SRC_INT_POT, Kind::kRadio, kNone, {233, 73, 8, 10}},
        {IDC_FWD_SRC_EXT_POT, Kind::kRadio, kNone, {233, 83, 8, 10}},
        {IDC_REV_SRC_INTERNAL, Kind::kRadio, WS_GROUP, {114, 168, 8, 10}},
        {IDC_REV_SRC_INT_POT, Kind::kRadio, kNone, {236, 167, 8, 10}},
        {IDC_REV_SRC_EXT_POT, Kind::kRadio, kNone, {236, 177, 8, 10}},
        {IDC_LEGEND_OFF, Kind::kCheck, WS_DISABLED | WS_GROUP, {402, 71, 9, 10}},
        {IDC_LEGEND_ON, Kind::kCheck, WS_DISABLED, {402, 84, 9, 10}},
        {IDC_CYCLES_ON, Kind::kCheck, kNone, {374, 160, 9, 10}},
        {IDC_HOME_DELAY_ON, Kind::kCheck, kNone, {374, 179, 9, 10}},
        {IDC_END_DELAY_ON, Kind::kCheck, kNone, {374, 197, 9, 10}},
        {IDC_AUTO_HOME, Kind::kCheck, kNone, {374, 215, 9, 10}},
        {IDC_UPLOAD_STATUS, Kind::kStatic, WS_GROUP, {289, 257, 121, 16}},
        {IDC_AUTO_START, Kind::kCheck, kNone, {375, 234, 8, 11}},
    };
    return controls;
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

void ExpectStyle(const ExpectedControl& expected, HWND hWnd) {
    const DWORD style = StyleOf(hWnd);
    const DWORD states = WS_GROUP | WS_DISABLED;
    SCOPED_TRACE("control " + std::to_string(expected.id));
    switch (expected.kind) {
    case Kind::kEdit:
        EXPECT_EQ(L"Edit", ClassOf(hWnd));
        EXPECT_EQ(static_cast<DWORD>(ES_AUTOHSCROLL | WS_TABSTOP),
                  style & (ES_AUTOHSCROLL | ES_MULTILINE | WS_TABSTOP | states));
        // The dialog manager may turn a 2-D border into a 3-D edge.
        EXPECT_TRUE((style & WS_BORDER) ||
                    (::GetWindowLongW(hWnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
        break;
    case Kind::kCombo:
        // The combo box hands WS_VSCROLL on to its list; the template test sees it.
        EXPECT_EQ(L"ComboBox", ClassOf(hWnd));
        EXPECT_EQ(static_cast<DWORD>(CBS_DROPDOWN | CBS_SORT | WS_TABSTOP),
                  style & (CBS_DROPDOWNLIST | CBS_SORT | WS_TABSTOP | states));
        break;
    case Kind::kPush:
        EXPECT_EQ(L"Button", ClassOf(hWnd));
        EXPECT_EQ(static_cast<DWORD>(BS_PUSHBUTTON | WS_TABSTOP),
                  style & (BS_TYPEMASK | WS_TABSTOP | states));
        break;
    case Kind::kStatic:
        EXPECT_EQ(L"Static", ClassOf(hWnd));
        EXPECT_EQ(static_cast<DWORD>(SS_LEFT) | expected.extraStyle,
                  style & (SS_TYPEMASK | WS_TABSTOP | states));
        break;
    case Kind::kRadio:
        // A checked radio button gives itself WS_TABSTOP, so that bit is not looked at.
        EXPECT_EQ(L"Button", ClassOf(hWnd));
        EXPECT_EQ(static_cast<DWORD>(BS_AUTORADIOBUTTON) | expected.extraStyle,
                  style & (BS_TYPEMASK | states));
        break;
    case Kind::kCheck:
        EXPECT_EQ(L"Button", ClassOf(hWnd));
        EXPECT_EQ(static_cast<DWORD>(BS_AUTOCHECKBOX | WS_TABSTOP) | expected.extraStyle,
                  style & (BS_TYPEMASK | WS_TABSTOP | states));
        break;
    }
}

// The style each control has in the template, before any control adjusts its own.
DWORD TemplateStyle(const ExpectedControl& control) {
    const DWORD base = WS_CHILD | WS_VISIBLE | control.extraStyle;
    switch (control.kind) {
    case Kind::kEdit:
        return base | ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
    case Kind::kCombo:
        return base | CBS_DROPDOWN | CBS_SORT | WS_VSCROLL | WS_TABSTOP;
    case Kind::kPush:
        return base | BS_PUSHBUTTON | WS_TABSTOP;
    case Kind::kStatic:
        return base | SS_LEFT;
    case Kind::kRadio:
        return base | BS_AUTORADIOBUTTON;
    case Kind::kCheck:
        return base | BS_AUTOCHECKBOX | WS_TABSTOP;
    }
    return 0;
}

// What the resource compiler made of the main dialog's template (a DLGTEMPLATEEX).
struct TemplateItem {
    DWORD style;
    DWORD id;
    RECT dialogUnits;
    WORD classOrdinal;
    std::wstring className;
    WORD titleOrdinal; // nonzero when the title is a resource id, as for the picture
};
struct DialogTemplate {
    DWORD style;
    WORD pointSize;
    std::wstring typeface;
    std::vector<TemplateItem> items;
};

class TemplateReader {
public:
    explicit TemplateReader(const BYTE* data) : base_(data), p_(data) {}
    WORD Word() { return Take<WORD>(); }
    DWORD Dword() { return Take<DWORD>(); }
    short Short() { return Take<short>(); }
    // A string, or 0xFFFF and an ordinal; returns the ordinal (0 for a string).
    WORD StringOrOrdinal(std::wstring* text = nullptr) {
        if (Peek() == 0xFFFF) {
            Word();
            return Word();
        }
        for (WORD c = Word(); c; c = Word()) {
            if (text) {
                text->push_back(static_cast<wchar_t>(c));
            }
        }
        return 0;
    }
    void AlignToDword() {
        while ((p_ - base_) % 4) {
            ++p_;
        }
    }
    void Skip(size_t bytes) { p_ += bytes; }

private:
    template <class T> T Take() {
        T value;
        std::memcpy(&value, p_, sizeof value);
        p_ += sizeof value;
        return value;
    }
    WORD Peek() const {
        WORD value;
        std::memcpy(&value, p_, sizeof value);
        return value;
    }
    const BYTE* base_;
    const BYTE* p_;
};

DialogTemplate ReadMainTemplate() {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(IDD_MAIN), RT_DIALOG);
    TemplateReader in(static_cast<const BYTE*>(::LockResource(::LoadResource(module, found))));
    DialogTemplate dialog{};
    in.Word(); // dlgVer
    EXPECT_EQ(0xFFFF, in.Word()) << "not an extended template";
    in.Dword(); // helpID
    in.Dword(); // exStyle
    dialog.style = in.Dword();
    const WORD count = in.Word();
    in.Skip(4 * sizeof(short)); // x, y, cx, cy
    in.StringOrOrdinal();       // menu
    in.StringOrOrdinal();       // class
    in.StringOrOrdinal();       // title
    dialog.pointSize = in.Word();
    in.Word(); // weight
    in.Word(); // italic, charset
    in.StringOrOrdinal(&dialog.typeface);
    for (WORD i = 0; i < count; ++i) {
        in.AlignToDword();
        TemplateItem item{};
        in.Dword(); // helpID
        in.Dword(); // exStyle
        item.style = in.Dword();
        item.dialogUnits.left = in.Short();
        item.dialogUnits.top = in.Short();
        item.dialogUnits.right = in.Short();
        item.dialogUnits.bottom = in.Short();
        item.id = in.Dword();
        item.classOrdinal = in.StringOrOrdinal(&item.className);
        item.titleOrdinal = in.StringOrOrdinal();
        in.Skip(in.Word()); // creation data
        dialog.items.push_back(item);
    }
    return dialog;
}

TEST(MainTemplate, FontAndEveryControlsStyleAsCompiled) {
    const DialogTemplate dialog = ReadMainTemplate();
    EXPECT_EQ(9, dialog.pointSize);
    EXPECT_EQ(L"Microsoft Sans Serif", dialog.typeface);
    EXPECT_TRUE(dialog.style & DS_SETFONT);

    const auto& expected = ExpectedControls();
    ASSERT_EQ(expected.size() + 1, dialog.items.size());
    const TemplateItem& picture = dialog.items[0];
    EXPECT_EQ(0xFFFFFFFFu, picture.id);
    // The static class, by its predefined ordinal or by name.
    EXPECT_TRUE(picture.classOrdinal == 0x0082 ||
                ::lstrcmpiW(picture.className.c_str(), L"Static") == 0);
    EXPECT_EQ(IDB_BACKGROUND, picture.titleOrdinal);
    EXPECT_EQ(static_cast<DWORD>(WS_CHILD | WS_VISIBLE | SS_BITMAP | WS_CLIPSIBLINGS),
              picture.style);
    EXPECT_EQ(565, picture.dialogUnits.right);
    EXPECT_EQ(361, picture.dialogUnits.bottom);
    for (size_t i = 0; i < expected.size(); ++i) {
        const TemplateItem& item = dialog.items[i + 1];
        SCOPED_TRACE("control " + std::to_string(expected[i].id));
        EXPECT_EQ(static_cast<DWORD>(expected[i].id), item.id);
        EXPECT_EQ(TemplateStyle(expected[i]), item.style);
        EXPECT_EQ(expected[i].dialogUnits.left, item.dialogUnits.left);
        EXPECT_EQ(expected[i].dialogUnits.top, item.dialogUnits.top);
        EXPECT_EQ(expected[i].dialogUnits.right, item.dialogUnits.right);
        EXPECT_EQ(expected[i].dialogUnits.bottom, item.dialogUnits.bottom);
    }
}

class Template : public DialogTest {};

TEST_F(Template, FrameCaptionAndSize) {
    RunWithDialog([](ScriptedMainDlg& d) {
        const HWND hWnd = d.Window();
        EXPECT_EQ(L"NORVEL AXIS PANEL", WindowText(hWnd));
        const DWORD style = StyleOf(hWnd);
        const DWORD wanted = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX;
        EXPECT_EQ(wanted, style & (wanted | WS_MAXIMIZEBOX | WS_CHILD));
        EXPECT_TRUE(::GetWindowLongW(hWnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);

        RECT client;
        ::GetClientRect(hWnd, &client);
        const RECT wantedClient = TemplateRect(hWnd, {0, 0, 565, 360});
        EXPECT_EQ(wantedClient.right, client.right);
        EXPECT_EQ(wantedClient.bottom, client.bottom);
    });
}

TEST_F(Template, ControlsInTabOrderWithTheirClassesAndStyles) {
    RunWithDialog([](ScriptedMainDlg& d) {
        std::vector<HWND> children;
        for (HWND child = ::GetWindow(d.Window(), GW_CHILD); child;
             child = ::GetWindow(child, GW_HWNDNEXT)) {
            children.push_back(child);
        }
        const auto& expected = ExpectedControls();
        // The controls, then the background moved beneath them.
        ASSERT_EQ(expected.size() + 1, children.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(expected[i].id, ::GetDlgCtrlID(children[i])) << "position " << i;
            ExpectStyle(expected[i], children[i]);
        }
        EXPECT_EQ(0xFFFF, static_cast<WORD>(::GetDlgCtrlID(children.back())));
        EXPECT_EQ(L"Static", ClassOf(children.back()));
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

TEST_F(Template, FixedTextsOfTheControls) {
    RunWithDialog([](ScriptedMainDlg& d) {
        EXPECT_EQ(L"Upload Parameters ", d.Text(IDC_UPLOAD));
        EXPECT_EQ(L"FOR/REV SYNC", d.Text(IDC_SYNC));
        EXPECT_EQ(L"Radio1", d.Text(IDC_REV_SRC_EXT_POT));
        EXPECT_EQ(L"Check1", d.Text(IDC_AUTO_HOME));
        EXPECT_EQ(L"", d.Text(IDC_AUTO_START));
    });
}

} // namespace
