#include "ui/VKD37Dlg.h"

#include <algorithm>

#include "model/DecimalScan.h"
#include "store/ParameterFile.h"
#include "model/ParameterTable.h"
#include "platform/Text.h"
#include "res/resource.h"
#include "ui/AboutDlg.h"
#include "ui/BackgroundScale.h"
#include "ui/SaveWait.h"
#include "ui/StatusLook.h"
#include "ui/framework/DataExchange.h"
#include "ui/framework/Gdi.h"
#include "ui/framework/InputQueue.h"

namespace {

// Index in the list is the COM port number.
constexpr const wchar_t* kPortNames[] = {L"Com0", L"Com1", L"Com2", L"Com3", L"Com4",
                                         L"Com5", L"Com6", L"Com7", L"Com8", L"Com9"};

// Posted when the focus leaves the port box with text typed in it, to be taken once the focus has
// moved: no box may open while it moves.
constexpr UINT WM_TAKE_TYPED_PORT = WM_APP;

} // namespace

CVKD37参数设定程序Dlg::CVKD37参数设定程序Dlg()
    : CDialogEx(IDD_MAIN),
      m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

BEGIN_MESSAGE_MAP(CVKD37参数设定程序Dlg)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_CTLCOLOR()
ON_BN_CLICKED(IDC_SYNC, &ThisClass::OnSyncClicked)
ON_BN_CLICKED(IDC_UPLOAD, &ThisClass::OnUploadClicked)
ON_CBN_SELCHANGE(IDC_PORT, &ThisClass::OnPortSelChange)
ON_CBN_DROPDOWN(IDC_PORT, &ThisClass::OnPortDropDown)
ON_CBN_SELENDOK(IDC_PORT, &ThisClass::OnPortSelEndOk)
ON_CBN_SELENDCANCEL(IDC_PORT, &ThisClass::OnPortSelEndCancel)
ON_CBN_EDITCHANGE(IDC_PORT, &ThisClass::OnPortEditChange)
ON_CBN_KILLFOCUS(IDC_PORT, &ThisClass::OnPortKillFocus)
ON_MESSAGE_VOID(WM_TAKE_TYPED_PORT, &ThisClass::OnTakeTypedPort)
END_MESSAGE_MAP()

namespace {

// The settings file as the operator looks for it: the full name of the one in the working
// directory.
std::wstring SettingsFilePath() {
    return FullPath(Wide(kParameterFileName));
}

// The store's words ("its values stop at byte 18, ...") as a sentence of a box.
std::wstring Sentence(const std::string& words) {
    std::wstring text = Wide(words);
    if (!text.empty() && text[0] >= L'a' && text[0] <= L'z') {
        text[0] = static_cast<wchar_t>(text[0] - L'a' + L'A');
    }
    return text + L".";
}

// Why the settings file could not be read or saved, in the operator's words; the system's own
// where there are none better.
std::wstring FileCause(const FileFailure& failure) {
    switch (failure.fault) {
    case FileFault::kHeld:
        return L"Another program holds the file: a backup, sync or virus scanner, or another "
               L"copy of this program.";
    case FileFault::kReadOnly:
        return L"It is read-only, or this user may not change it or its folder.";
    case FileFault::kNoRoom:
        return L"There is no room left on its disk.";
    case FileFault::kNotAFile:
        return L"That name belongs to a folder or a device, not to a file.";
    case FileFault::kRefused:
        return Sentence(failure.cause);
    case FileFault::kStopped:
    case FileFault::kOther:
        break;
    }
    return Wide(failure.cause.empty() ? failure.text : failure.cause) + L".";
}

std::wstring UnreadableFileText(const FileFailure& failure) {
    // Where a folder or a device has the file's name, every upload's save fails there too.
    const wchar_t* uploads = failure.fault == FileFault::kNotAFile
                                 ? L"Uploads cannot save there."
                                 : L"An upload saves the values shown in their place.";
    return L"Cannot read the settings file\n" + SettingsFilePath() + L"\n" + FileCause(failure) +
           L"\n\nThe values shown are the start values, not the saved ones. " + uploads;
}

std::wstring NotSavedText(const FileFailure& failure) {
    return L"Cannot save the settings file\n" + SettingsFilePath() + L"\n" + FileCause(failure) +
           L"\n\nThe values shown were not saved.";
}

std::wstring StoppedReadingText(const ParameterReading& reading) {
    return L"Cannot read all of the settings file\n" + SettingsFilePath() + L"\n" +
           Sentence(UnreadableValuesText(reading)) +
           L"\n\nThe values shown are those read before that point; the rest are 0. Uploads will "
           L"not write over the file, so that what could not be read is kept.";
}

// Asks whether to save over the change when the file now reads whole.
std::wstring ChangedFileText(const SaveDecision& decision) {
    std::wstring text = L"Another program changed the settings file\n" + SettingsFilePath() +
                        L"\nsince this program read or last saved it.";
    if (decision.verdict == SaveVerdict::kChangedUnread) {
        text += L" " + Sentence(UnreadableValuesText(decision.reading));
    }
    text += L"\n\nThe values uploaded were not saved there: the file keeps what the other "
            L"program wrote, which the next start reads.";
    if (decision.verdict == SaveVerdict::kChanged) {
        text += L"\n\nSave the values uploaded over it anyway?";
    }
    return text;
}

// The text without the blanks around it, which the form's numbers may have too.
std::wstring WithoutBlanksAround(const std::wstring& text) {
    const auto blank = [](wchar_t c) { return IsScanBlank(c); };
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? std::wstring(first, last) : std::wstring();
}

std::wstring UnknownPortPrompt(const std::wstring& name) {
    return name.empty() ? L"Please choose the COM port."
                        : L"Please choose the COM port: there is no \"" + name + L"\" in the list.";
}

// The edit box of each member the form reads as a number.
struct NumberBox {
    int ParameterSet::*member;
    int id;
};

constexpr NumberBox kNumberBoxes[] = {
    {&ParameterSet::m_nFwdAcc, IDC_FWD_ACC},     {&ParameterSet::m_nFwdSpeed, IDC_FWD_SPEED},
    {&ParameterSet::m_nFwdDec, IDC_FWD_DEC},     {&ParameterSet::m_nRevAcc, IDC_REV_ACC},
    {&ParameterSet::m_nRevSpeed, IDC_REV_SPEED}, {&ParameterSet::m_nRevDec, IDC_REV_DEC},
    {&ParameterSet::m_nCycles, IDC_CYCLES},      {&ParameterSet::m_nHomeDelay, IDC_HOME_DELAY},
    {&ParameterSet::m_nEndDelay, IDC_END_DELAY},
};

// Checks a stored member against its bounds in the parameter table the tool and the page read.
void DDV_FieldRange(CDataExchange* pDX, const ParameterSet& set, int ParameterSet::*member) {
    const ParameterField& field = FieldFor(member);
    DDV_MinMaxInt(pDX, set.*member, field.min, field.max);
}

// The radio group of each speed source, and what to ask when none of its buttons is checked.
struct SourceGroup {
    int ParameterSet::*member;
    int firstButton;
    const wchar_t* prompt;
};

constexpr SourceGroup kSourceGroups[] = {
    {&ParameterSet::m_nFwdSource, IDC_FWD_SRC_INTERNAL, L"Please choose the forward speed source."},
    {&ParameterSet::m_nRevSource, IDC_REV_SRC_INTERNAL, L"Please choose the reverse speed source."},
};

const SourceGroup& SourceGroupOf(int ParameterSet::*member) {
    for (const SourceGroup& group : kSourceGroups) {
        if (group.member == member) {
            return group;
        }
    }
    return kSourceGroups[0]; // the form checks only these two sources
}

// A source the buttons cannot show (a file's 3 or -1) reads back as -1, no button checked; sent,
// it would reach the controller as 0xFF. The focus goes to the group so that one can be chosen.
void DDV_SpeedSource(CDataExchange* pDX, const ParameterSet& set, int ParameterSet::*member) {
    if (pDX->Failed() || !pDX->m_bSaveAndValidate || IsAccepted(FieldFor(member), set.*member)) {
        return;
    }
    const SourceGroup& group = SourceGroupOf(member);
    pDX->PrepareCtrl(group.firstButton);
    pDX->Fail(group.prompt);
}

} // namespace

int NumberBoxOf(int ParameterSet::*member) {
    for (const NumberBox& box : kNumberBoxes) {
        if (box.member == member) {
            return box.id;
        }
    }
    return 0; // every member the form reads as a number has a box
}

// The order of the checks is the parameter table's, which the page follows too. It decides where
// the focus lands when a check fails: a ramp or speed out of range leaves it in IDC_END_DELAY, a
// delay in IDC_AUTO_HOME, a source no button shows in its group's first button.
void CVKD37参数设定程序Dlg::DoDataExchange(CDataExchange* pDX) {
    CDialogEx::DoDataExchange(pDX);
    ParameterSet& values = *this;
    for (const FormCheck& check : FormChecks()) {
        switch (check.step) {
        case FormStep::kReadNumber:
            DDX_Text(pDX, NumberBoxOf(check.member), values.*check.member);
            break;
        case FormStep::kCheckRange:
            DDV_FieldRange(pDX, values, check.member);
            break;
        case FormStep::kReadButtons:
            ExchangeButtons(pDX);
            break;
        case FormStep::kCheckSource:
            DDV_SpeedSource(pDX, values, check.member);
            break;
        }
    }
    DDX_Text(pDX, IDC_UPLOAD_STATUS, m_strUploadStatus);
    DDX_Check(pDX, IDC_AUTO_START, m_bAutoStart);
}

void CVKD37参数设定程序Dlg::ExchangeButtons(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_PORT, m_cboPort);
    for (const SourceGroup& group : kSourceGroups) {
        DDX_Radio(pDX, group.firstButton, this->*group.member);
    }
    DDX_Check(pDX, IDC_LEGEND_ON, m_bLegendOn);
    DDX_Check(pDX, IDC_CYCLES_ON, m_bCyclesOn);
    DDX_Check(pDX, IDC_HOME_DELAY_ON, m_bHomeDelayOn);
    DDX_Check(pDX, IDC_END_DELAY_ON, m_bEndDelayOn);
    DDX_Check(pDX, IDC_AUTO_HOME, m_bAutoHome);
}

BOOL CVKD37参数设定程序Dlg::OnInitDialog() {
    CDialogEx::OnInitDialog();
    ScaleBackgroundToFont();
    SendBackgroundToBack();

    AddAboutItemToSystemMenu();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    ShowWindow(SW_MINIMIZE);

    const LoadOutcome loaded = LoadParameters(*this);
    m_fileSeen = loaded.sight;
    for (const wchar_t* name : kPortNames) {
        m_cboPort.AddString(name);
    }
    m_cboPort.SetCurSel(m_nPort);
    OpenPortAndReport(m_nPort);

    m_bLegendOn = 1;
    UpdateData(FALSE);
    // A missing file is a first start, and a short one loads what it has, both without a word;
    // one that is there but cannot be read (another program holds it) would go unnoticed until
    // an upload saved the start values over it, and one whose values stop at what cannot be
    // read until an upload kept them unsaved.
    if (loaded.kind == LoadOutcome::Kind::kUnreadable) {
        MessageBox(UnreadableFileText(loaded.failure).c_str(), nullptr, MB_OK | MB_ICONWARNING);
    } else if (DecideSave(m_fileSeen, m_fileSeen).verdict == SaveVerdict::kUnread) {
        MessageBox(StoppedReadingText(loaded.reading).c_str(), nullptr, MB_OK | MB_ICONWARNING);
    }
    return TRUE;
}

// The background is the template's first control, which puts it on top of its siblings. At the
// bottom, and clipped by the controls above it (WS_CLIPSIBLINGS), it can never paint over one.
void CVKD37参数设定程序Dlg::SendBackgroundToBack() {
    ::SetWindowPos(::GetWindow(m_hWnd, GW_CHILD), HWND_BOTTOM, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

namespace {

// A 24-bit copy of `source` stretched to width x height, averaged rather than sampled so the
// painted text stays readable; null when GDI fails.
HBITMAP CreateStretchedCopy(HBITMAP source, const BITMAP& sourceInfo, int width, int height) {
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 24;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    BitmapHandle copy(::CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!copy.IsValid()) {
        return nullptr;
    }
    {
        const CBitmapDC from(source);
        const CBitmapDC to(copy.get());
        if (!from.IsReady() || !to.IsReady()) {
            return nullptr;
        }
        // HALFTONE wants the brush origin set after the mode.
        ::SetStretchBltMode(to.GetSafeHdc(), HALFTONE);
        ::SetBrushOrgEx(to.GetSafeHdc(), 0, 0, nullptr);
        if (!::StretchBlt(to.GetSafeHdc(), 0, 0, width, height, from.GetSafeHdc(), 0, 0,
                          sourceInfo.bmWidth, sourceInfo.bmHeight, SRCCOPY)) {
            return nullptr;
        }
    }
    return copy.Release();
}

} // namespace

// The controls are placed in dialog units, the labels are pixels of the picture: at any font
// size but the one the picture is drawn for, the picture is scaled once to match. At that size
// the template's own picture stays, pixel for pixel.
void CVKD37参数设定程序Dlg::ScaleBackgroundToFont() {
    RECT baseUnits = {0, 0, 4, 8};
    ::MapDialogRect(m_hWnd, &baseUnits);
    const BackgroundScale scale{baseUnits.right, baseUnits.bottom};
    const HWND picture = ::GetWindow(m_hWnd, GW_CHILD);
    const auto drawn =
        reinterpret_cast<HBITMAP>(::SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
    BITMAP drawnInfo{};
    if (scale.IsOneToOne() || !::GetObjectW(drawn, sizeof drawnInfo, &drawnInfo)) {
        return;
    }
    const HBITMAP scaled = CreateStretchedCopy(drawn, drawnInfo, scale.ScaleX(drawnInfo.bmWidth),
                                               scale.ScaleY(drawnInfo.bmHeight));
    if (!scaled) {
        return; // the unscaled picture is still better than none
    }
    m_bmpScaledBackground = BitmapHandle(scaled);
    // The control resizes itself to the new picture and hands back the old one, now ours.
    m_bmpTemplateBackground = BitmapHandle(reinterpret_cast<HBITMAP>(
        ::SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(scaled))));
}

void CVKD37参数设定程序Dlg::AddAboutItemToSystemMenu() {
    const HMENU hSysMenu = GetSystemMenu(FALSE);
    if (!hSysMenu) {
        return;
    }
    wchar_t aboutText[128] = L"";
    if (::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUTBOX, aboutText, 128) <= 0) {
        return;
    }
    ::AppendMenuW(hSysMenu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(hSysMenu, MF_STRING, IDM_ABOUTBOX, aboutText);
}

// Shown at once: an upload may follow that keeps the window from painting.
void CVKD37参数设定程序Dlg::OpenPortAndReport(int nPort) {
    const int opened = m_link.OpenPort(nPort);
    SetDlgItemText(IDC_PORT_STATUS, opened == 1 ? kPortOpened : kPortNotOpened);
    ::UpdateWindow(GetDlgItem(IDC_PORT_STATUS));
}

// m_nPort follows the list only when the parameters are saved.
void CVKD37参数设定程序Dlg::OnPortSelChange() {
    m_bPortTyped = false;
    m_link.ClosePort();
    OpenPortAndReport(m_cboPort.GetCurSel());
}

// The port box is editable, and what it shows is the port used: a name typed there ("com2",
// " COM2 ") is the list's entry of that name, opened as if chosen from the list; a name no entry
// has is refused with a prompt that puts the focus back in the box. The entry's index, or CB_ERR
// after the prompt.
int CVKD37参数设定程序Dlg::TakePortInBox() {
    CDataExchange dx(this, TRUE);
    std::wstring typed;
    DDX_Text(&dx, IDC_PORT, typed);
    const std::wstring name = WithoutBlanksAround(typed);
    const int entry = name.empty() ? CB_ERR : m_cboPort.FindStringExact(name.c_str());
    if (entry == CB_ERR) {
        dx.Fail(UnknownPortPrompt(name).c_str());
        return CB_ERR;
    }
    // Typing clears the list's selection, so a typed name opens its port anew, as choosing the
    // selected entry again does.
    const bool chosenAnew = entry != m_cboPort.GetCurSel() || !m_link.IsOpen();
    m_cboPort.SetCurSel(entry);
    if (chosenAnew) {
        OnPortSelChange();
    }
    m_bPortTyped = false;
    return entry;
}

bool CVKD37参数设定程序Dlg::IsInPortBox(HWND hWnd) const {
    return hWnd && (hWnd == m_cboPort.m_hWnd || ::IsChild(m_cboPort.m_hWnd, hWnd));
}

void CVKD37参数设定程序Dlg::OnPortEditChange() {
    m_bPortTyped = true;
}

void CVKD37参数设定程序Dlg::OnPortKillFocus() {
    if (m_bPortTyped) {
        ::PostMessageW(m_hWnd, WM_TAKE_TYPED_PORT, 0, 0);
    }
}

// Only when the focus went to another control of this window: one that went to another program
// comes back to the box, and the name is taken when it leaves the box again or on Upload.
void CVKD37参数设定程序Dlg::OnTakeTypedPort() {
    const HWND focus = ::GetFocus();
    if (m_bPortTyped && focus && ::IsChild(m_hWnd, focus) && !IsInPortBox(focus)) {
        TakePortInBox();
    }
}

// Enter in the port box takes the name typed there; anywhere else it closes the dialog, once the
// values pass.
void CVKD37参数设定程序Dlg::OnOK() {
    if (m_bPortTyped && IsInPortBox(::GetFocus())) {
        TakePortInBox();
        return;
    }
    CDialogEx::OnOK();
}

// Choosing the entry that is already selected changes nothing, so no CBN_SELCHANGE comes; yet
// the operator who plugs an adapter back in and chooses its port again wants it opened anew.
// The list tells that a choice was made (CBN_SELENDOK) but not whether it changed, and on
// Windows not in which order with CBN_SELCHANGE: the selection when the list dropped down says.
void CVKD37参数设定程序Dlg::OnPortDropDown() {
    m_nSelectionAtDropDown = m_cboPort.GetCurSel();
}

void CVKD37参数设定程序Dlg::OnPortSelEndOk() {
    const bool sameAgain =
        m_nSelectionAtDropDown != kNotDropped && m_cboPort.GetCurSel() == m_nSelectionAtDropDown;
    m_nSelectionAtDropDown = kNotDropped;
    if (sameAgain) {
        OnPortSelChange();
    }
}

void CVKD37参数设定程序Dlg::OnPortSelEndCancel() {
    m_nSelectionAtDropDown = kNotDropped;
}

void CVKD37参数设定程序Dlg::OnSyncClicked() {
    if (!UpdateData(TRUE)) {
        return;
    }
    CopyForwardToReverse();
    UpdateData(FALSE);
}

// The save runs whatever became of the upload, with the values then on screen and the port it
// went to. With no port open (its adapter was away when it was opened, and may be back), the one
// in the box is opened first.
void CVKD37参数设定程序Dlg::OnUploadClicked() {
    if (!UpdateData(TRUE)) {
        return;
    }
    const int port = TakePortInBox();
    if (port == CB_ERR) {
        return;
    }
    UploadParameters();
    UpdateData(TRUE);
    SaveParametersAndReport(port);
}

// The upload's status stays as it is; a save that fails, or that the file's state keeps from
// going ahead, says so in a box of its own. A file another program changed is written over only
// when the operator, told, says so; values the start box said cannot be read, never.
void CVKD37参数设定程序Dlg::SaveParametersAndReport(int nPort) {
    for (;;) {
        DecidedSave saved;
        {
            CWaitCursor waitCursor;
            saved = SaveParameters(*this, nPort, &m_fileSeen, LockWait{kSaveWaitMs, {}});
        }
        // A key pressed while the save kept the window from answering would start another
        // upload, or answer the box below.
        DiscardQueuedInput();
        const SaveVerdict verdict = saved.decision.verdict;
        if (verdict == SaveVerdict::kChanged) {
            if (MessageBox(ChangedFileText(saved.decision).c_str(), nullptr,
                           MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) {
                return;
            }
            // That change, and no later one, is written over.
            m_fileSeen = saved.found;
            continue;
        }
        const bool namedAtStart =
            verdict == SaveVerdict::kUnread && m_fileSeen.kind == FileSight::Kind::kSeen;
        if (verdict == SaveVerdict::kChangedUnread) {
            MessageBox(ChangedFileText(saved.decision).c_str(), nullptr, MB_OK | MB_ICONWARNING);
        } else if (!saved.outcome.Saved() && !namedAtStart) {
            MessageBox(NotSavedText(saved.outcome.failure).c_str(), nullptr,
                       MB_OK | MB_ICONWARNING);
        }
        return;
    }
}

void CVKD37参数设定程序Dlg::UploadParameters() {
    m_strUploadStatus = kUploading;
    UpdateData(FALSE);
    // The send blocks the message loop, so show the status now rather than after it.
    ::UpdateWindow(GetDlgItem(IDC_UPLOAD_STATUS));

    BuildUploadFrame(*this, m_frame);
    int delivered = 0;
    {
        CWaitCursor waitCursor;
        delivered = SendFrameReopeningALostPort();
    }
    // A second click made meanwhile would send and save again, a key would answer the box below.
    DiscardQueuedInput();
    if (delivered == 1) {
        m_strUploadStatus = kUploadDone;
    } else {
        MessageBox(kUploadFailed);
        m_strUploadStatus = kUploadFailed;
    }
    UpdateData(FALSE);
}

// A port whose device has gone (an adapter unplugged, or swapped for the next controller's) fails
// every later call on its handle. So when a call fails that way, rather than by a time-out or a
// wrong echo, the selected port is opened anew, its status shown, and the frame sent once more.
int CVKD37参数设定程序Dlg::SendFrameReopeningALostPort() {
    const std::optional<EchoResult> first = m_link.Exchange(m_frame);
    if (!first || first->outcome != EchoOutcome::kLineLost) {
        return first && first->outcome == EchoOutcome::kConfirmed ? 1 : 0;
    }
    m_link.ClosePort();
    OpenPortAndReport(m_cboPort.GetCurSel());
    return m_link.SendFrame(m_frame);
}

// The port status sits on a plain field; the upload status on a lighter band in a darker one.
HBRUSH CVKD37参数设定程序Dlg::OnCtlColor(HDC hDC, HWND hControl, UINT nCtlColor) {
    const HBRUSH hbr = CDialogEx::OnCtlColor(hDC, hControl, nCtlColor);
    if (nCtlColor != CTLCOLOR_STATIC) {
        return hbr;
    }
    if (hControl == GetDlgItem(IDC_PORT_STATUS)) {
        static const BrushHandle portStatusBrush(::CreateSolidBrush(kStatusBackground));
        ::SetBkColor(hDC, kStatusBackground);
        ::SetTextColor(hDC, kStatusText);
        return portStatusBrush.get();
    }
    if (hControl == GetDlgItem(IDC_UPLOAD_STATUS)) {
        static const BrushHandle uploadStatusBrush(::CreateSolidBrush(kUploadStatusField));
        ::SetBkColor(hDC, kStatusBackground);
        ::SetTextColor(hDC, kStatusText);
        return uploadStatusBrush.get();
    }
    return hbr;
}

void CVKD37参数设定程序Dlg::OnSysCommand(UINT nID, LPARAM lParam) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        // Minimised at start, the item is reached from the task-bar button, when the main
        // window need not be the active one.
        CAboutDlg dlgAbout(m_hWnd);
        dlgAbout.DoModal();
    } else {
        CDialogEx::OnSysCommand(nID, lParam);
    }
}

// Minimised, the window shows the application icon centred in what is left of it.
void CVKD37参数设定程序Dlg::OnPaint() {
    if (!IsIconic()) {
        CDialogEx::OnPaint();
        return;
    }
    CPaintDC dc(m_hWnd);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    const int cxIcon = ::GetSystemMetrics(SM_CXICON);
    const int cyIcon = ::GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(&rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    ::DrawIcon(dc.GetSafeHdc(), x, y, m_hIcon);
}

HICON CVKD37参数设定程序Dlg::OnQueryDragIcon() {
    return m_hIcon;
}
