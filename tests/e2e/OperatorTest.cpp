// The real program, started in a scratch directory and driven from outside like an operator,
// against the simulators the bench joins to COM1-COM9.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "HeldFile.h"
#include "LinuxCommand.h"
#include "OperatorDriver.h"
#include "Scratch.h"
#include "SettingsFiles.h"
#include "SimulatorLog.h"
#include "link/UploadFrame.h"
#include "store/ParameterFile.h"
#include "model/ParameterText.h"
#include "res/resource.h"
#include "ui/StatusLook.h"

namespace {

const std::wstring kBoxCaption = L"VKD-37\u53c2\u6570\u8bbe\u5b9a\u7a0b\u5e8f";

std::wstring FromUtf8(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<size_t>(
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                              static_cast<int>(wide.size()))));
    return wide;
}

std::string ToUtf8(const std::wstring& text) {
    std::string narrow(text.size() * 3, '\0');
    narrow.resize(static_cast<size_t>(
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                              static_cast<int>(narrow.size()), nullptr, nullptr)));
    return narrow;
}

class OperatorTest : public ::testing::Test {
protected:
    void SetUp() override { dir_ = scratch_.Path().wstring() + L"\\"; }
    // The program first, so that the folder it works in can go.
    void TearDown() override { program_.reset(); }

    std::wstring FilePath() const { return dir_ + FromUtf8(kParameterFileName); }
    void WriteParameterFile(const std::string& bytes) const {
        std::ofstream(FilePath().c_str(), std::ios::binary) << bytes;
    }
    bool FileExists() const {
        return ::GetFileAttributesW(FilePath().c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    std::string FileContents() const { return ReadWholeFile(FilePath()); }

    // Starts the program in the scratch folder; a failure says why. Asserted by the caller, so
    // that a test without a program ends there.
    ::testing::AssertionResult LaunchProgram() {
        StartOutcome started = OperatorDriver::Start(FromUtf8(VKD_PROGRAM_PATH), dir_);
        program_ = std::move(started.program);
        if (!program_) {
            return ::testing::AssertionFailure() << started.failure.text;
        }
        return ::testing::AssertionSuccess();
    }

    // Starts the program and brings its window up from the task bar.
    ::testing::AssertionResult StartProgram() {
        ::testing::AssertionResult started = LaunchProgram();
        if (started) {
            program_->Restore();
        }
        return started;
    }

    void ChoosePort(int port, const std::wstring& expectedStatus) {
        program_->ChooseListEntry(IDC_PORT, port);
        EXPECT_TRUE(program_->WaitForText(IDC_PORT_STATUS, expectedStatus, kOutcomeTimeoutMs))
            << "Com" << port << ": " << ToUtf8(program_->Text(IDC_PORT_STATUS));
    }

    // Presses Upload and expects the failure box, answering it. Callers assert that it had no
    // fatal failure, for what they do next needs the box answered.
    void UploadExpectingFailureBox() {
        program_->Click(IDC_UPLOAD);
        const OperatorDriver::Box box = program_->WaitForBox(kOutcomeTimeoutMs);
        ASSERT_TRUE(box.window) << "no box appeared";
        EXPECT_EQ(kUploadFailed, box.text);
        EXPECT_EQ(kBoxCaption, box.caption);
        EXPECT_FALSE(box.hasIcon);
        EXPECT_EQ(1, box.buttons);
        ASSERT_TRUE(program_->Answer(box));
        EXPECT_TRUE(program_->WaitForText(IDC_UPLOAD_STATUS, kUploadFailed, kOutcomeTimeoutMs));
    }

    // Waits for "Uploading……", read without a message: the program is busy sending.
    bool WaitForUploadingShown() const {
        const HWND status = ::GetDlgItem(program_->MainWindow(), IDC_UPLOAD_STATUS);
        return WaitUntil(kOutcomeTimeoutMs, [&] {
            wchar_t text[64] = {};
            ::GetWindowTextW(status, text, 64);
            return std::wstring(kUploading) == text;
        });
    }

    // Waits for the box about the settings file and answers it (with the button of that id); its
    // text.
    std::wstring AnswerFileBox(const std::wstring& firstLine, int button = 0) {
        const OperatorDriver::Box box = program_->WaitForBox(kOutcomeTimeoutMs);
        if (!box.window) {
            ADD_FAILURE() << "no box about the file appeared";
            return {};
        }
        EXPECT_EQ(0u, box.text.find(firstLine + L"\n" + FilePath() + L"\n")) << ToUtf8(box.text);
        EXPECT_EQ(kBoxCaption, box.caption);
        EXPECT_TRUE(program_->Answer(box, button));
        return box.text;
    }

    void WaitForSaved(const std::string& expected) {
        EXPECT_TRUE(WaitUntil(kOutcomeTimeoutMs, [&] { return FileContents() == expected; }))
            << "file holds \"" << FileContents() << "\", expected \"" << expected << "\"";
    }

    const ScratchFolder scratch_{"vkd37-e2e"};
    std::wstring dir_;
    std::unique_ptr<OperatorDriver> program_;
};

ParameterSet Defaults(int port) {
    ParameterSet set;
    set.ApplyMissingFileValues();
    set.m_nPort = port;
    return set;
}

} // namespace

TEST_F(OperatorTest, FirstStartWithoutAFileShowsTheDefaults) {
    ASSERT_TRUE(LaunchProgram());
    // The legend is ticked at the end of start-up, and the program answers once its loop runs;
    // the window stays on the task bar after that.
    ASSERT_TRUE(WaitUntil(kOutcomeTimeoutMs, [&] { return program_->IsChecked(IDC_LEGEND_ON); }));
    EXPECT_TRUE(program_->IsMinimised());
    ::Sleep(1000);
    EXPECT_TRUE(program_->IsMinimised()) << "the window did not stay minimised";
    program_->Restore();

    std::vector<std::wstring> ports;
    for (int i = 0; i < 10; ++i) {
        ports.push_back(L"Com" + std::to_wstring(i));
    }
    EXPECT_EQ(ports, program_->ListEntries(IDC_PORT));
    EXPECT_EQ(0, program_->ListSelection(IDC_PORT));
    EXPECT_EQ(L"Com0", program_->Text(IDC_PORT));
    EXPECT_EQ(kPortNotOpened, program_->Text(IDC_PORT_STATUS));
    EXPECT_EQ(L"", program_->Text(IDC_UPLOAD_STATUS));
    const std::pair<int, const wchar_t*> fields[] = {
        {IDC_FWD_ACC, L"10"}, {IDC_FWD_SPEED, L"108"},   {IDC_FWD_DEC, L"10"},
        {IDC_REV_ACC, L"10"}, {IDC_REV_SPEED, L"108"},   {IDC_REV_DEC, L"10"},
        {IDC_CYCLES, L"100"}, {IDC_HOME_DELAY, L"2000"}, {IDC_END_DELAY, L"2000"},
    };
    for (const auto& [id, text] : fields) {
        EXPECT_EQ(text, program_->Text(id)) << "control " << id;
    }
    EXPECT_TRUE(program_->IsChecked(IDC_FWD_SRC_INTERNAL));
    EXPECT_TRUE(program_->IsChecked(IDC_REV_SRC_INTERNAL));
    EXPECT_TRUE(program_->IsChecked(IDC_LEGEND_ON));
    EXPECT_FALSE(program_->IsChecked(IDC_LEGEND_OFF));
    EXPECT_FALSE(program_->IsEnabled(IDC_LEGEND_ON));
    for (int id :
         {IDC_FWD_SRC_INT_POT, IDC_FWD_SRC_EXT_POT, IDC_REV_SRC_INT_POT, IDC_REV_SRC_EXT_POT,
          IDC_CYCLES_ON, IDC_HOME_DELAY_ON, IDC_END_DELAY_ON, IDC_AUTO_HOME, IDC_AUTO_START}) {
        EXPECT_FALSE(program_->IsChecked(id)) << "control " << id;
    }
    EXPECT_FALSE(FileExists());
}

TEST_F(OperatorTest, UploadWithoutAPortFailsAndStillSaves) {
    ASSERT_TRUE(StartProgram());
    ASSERT_NO_FATAL_FAILURE(UploadExpectingFailureBox());
    WaitForSaved(settings_files::kStartValues);
}

// The port typed into the box, another one open, is the one the upload goes to and saves.
TEST_F(OperatorTest, UploadToTheControllerSendsTheFrameAndSavesThePort) {
    ASSERT_TRUE(StartProgram());
    ChoosePort(port::kSilent, kPortOpened);
    program_->Type(IDC_PORT, L" cOM" + std::to_wstring(port::kGood) + L" ");

    program_->Type(IDC_FWD_ACC, L"5");
    program_->Type(IDC_FWD_SPEED, L"60");
    program_->Type(IDC_FWD_DEC, L"7");
    program_->SetChecked(IDC_FWD_SRC_EXT_POT, true);
    program_->SetChecked(IDC_REV_SRC_INT_POT, true);
    program_->Type(IDC_REV_DEC, L"127");
    program_->Type(IDC_REV_SPEED, L"1");
    program_->Type(IDC_REV_ACC, L"0");
    program_->SetChecked(IDC_CYCLES_ON, true);
    program_->Type(IDC_CYCLES, L"65535");
    program_->SetChecked(IDC_END_DELAY_ON, true);
    program_->Type(IDC_END_DELAY, L"15");
    program_->SetChecked(IDC_AUTO_HOME, true);
    program_->SetChecked(IDC_AUTO_START, true);

    // The values typed, as the file holds them.
    ParameterSet expected;
    ReadParameterText(std::to_string(port::kGood) + " 2 5 60 7 1 127 1 0 65535 2000 15 1 0 1 1 ",
                      expected);
    UploadFrame frame;
    BuildUploadFrame(expected, frame);

    const size_t before = LoggedFrames(port::kGood).size();
    program_->Click(IDC_UPLOAD);
    ASSERT_TRUE(program_->WaitForText(IDC_UPLOAD_STATUS, kUploadDone, kOutcomeTimeoutMs))
        << "no \"Download Complete\"";
    const std::vector<std::string> frames = LoggedFrames(port::kGood);
    ASSERT_EQ(before + 1, frames.size());
    EXPECT_EQ(Hex(frame), frames.back());
    WaitForSaved(WriteParameterText(expected));
    EXPECT_FALSE(program_->WaitForBox(0).window);
}

class FaultyControllerTest : public OperatorTest, public ::testing::WithParamInterface<int> {};

TEST_P(FaultyControllerTest, ShowsTheFailureAndStillSaves) {
    const int port = GetParam();
    ASSERT_TRUE(StartProgram());
    ChoosePort(port, kPortOpened);
    const size_t before = LoggedFrames(port).size();
    ASSERT_NO_FATAL_FAILURE(UploadExpectingFailureBox());
    EXPECT_EQ(before + 1, LoggedFrames(port).size()) << "the frame did not reach the simulator";
    WaitForSaved(WriteParameterText(Defaults(port)));
}

std::string FaultName(const ::testing::TestParamInfo<int>& info) {
    switch (info.param) {
    case port::kSilent:
        return "Silent";
    case port::kShortEcho:
        return "ShortEcho";
    case port::kCorruptByte18:
        return "ChangedByte";
    default:
        return "LateEcho";
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultyControllerTest,
                         ::testing::Values(port::kSilent, port::kShortEcho, port::kCorruptByte18,
                                           port::kLateEcho),
                         FaultName);

// An adapter that goes away mid-upload and comes back under the same name (COM9 drops every
// other frame): the next click finds the write failing, opens the port anew and sends again.
TEST_F(OperatorTest, ALostLineIsOpenedAgainWithinTheNextClick) {
    ASSERT_TRUE(StartProgram());
    ChoosePort(port::kDropsMidFrame, kPortOpened);
    const size_t before = LoggedFrames(port::kDropsMidFrame).size();
    // No echo: the line went away half-way through the frame.
    ASSERT_NO_FATAL_FAILURE(UploadExpectingFailureBox());
    program_->Click(IDC_UPLOAD);
    ASSERT_TRUE(program_->WaitForText(IDC_UPLOAD_STATUS, kUploadDone, kOutcomeTimeoutMs))
        << ToUtf8(program_->Text(IDC_UPLOAD_STATUS));
    EXPECT_EQ(kPortOpened, program_->Text(IDC_PORT_STATUS));
    EXPECT_FALSE(program_->WaitForBox(0).window);
    EXPECT_EQ(before + 1, LoggedFrames(port::kDropsMidFrame).size());
    WaitForSaved(WriteParameterText(Defaults(port::kDropsMidFrame)));
}

// No port in the box: Upload asks for one.
TEST_F(OperatorTest, SavedPortMinusOneSelectsNothingAndUploadAsksForAPort) {
    WriteParameterFile("-1 0 10 108 10 0 10 108 10 100 2000 2000 0 0 0 0 ");
    ASSERT_TRUE(StartProgram());
    EXPECT_EQ(CB_ERR, program_->ListSelection(IDC_PORT));
    EXPECT_EQ(kPortNotOpened, program_->Text(IDC_PORT_STATUS));
    program_->Click(IDC_UPLOAD);
    EXPECT_EQ(L"Please choose the COM port.", program_->WaitForBox(kOutcomeTimeoutMs).text);
}

TEST_F(OperatorTest, SavedPortIsOpenedAtStart) {
    WriteParameterFile("1 1 20 30 40 2 50 60 70 80 90 100 1 1 1 1 ");
    ASSERT_TRUE(StartProgram());
    EXPECT_EQ(1, program_->ListSelection(IDC_PORT));
    EXPECT_EQ(kPortOpened, program_->Text(IDC_PORT_STATUS));
    EXPECT_EQ(L"20", program_->Text(IDC_FWD_ACC));
    EXPECT_EQ(L"70", program_->Text(IDC_REV_ACC));
    EXPECT_EQ(L"50", program_->Text(IDC_REV_DEC));
    EXPECT_TRUE(program_->IsChecked(IDC_FWD_SRC_INT_POT));
    EXPECT_TRUE(program_->IsChecked(IDC_REV_SRC_EXT_POT));
    for (int id : {IDC_CYCLES_ON, IDC_HOME_DELAY_ON, IDC_END_DELAY_ON, IDC_AUTO_HOME}) {
        EXPECT_TRUE(program_->IsChecked(id)) << "control " << id;
    }
}

// A value the form rejects never reaches the controller, and nothing is saved.
TEST_F(OperatorTest, RampOutOfRangeFromTheFileIsRejectedBeforeSending) {
    const std::string file = "1 0 200 108 10 0 10 108 10 100 2000 2000 0 0 0 0 ";
    WriteParameterFile(file);
    ASSERT_TRUE(StartProgram());
    ASSERT_EQ(kPortOpened, program_->Text(IDC_PORT_STATUS));
    EXPECT_EQ(L"200", program_->Text(IDC_FWD_ACC));
    const size_t before = LoggedFrames(port::kGood).size();

    program_->Click(IDC_UPLOAD);
    const OperatorDriver::Box prompt = program_->WaitForBox(kOutcomeTimeoutMs);
    ASSERT_TRUE(prompt.window);
    EXPECT_NE(std::wstring::npos, prompt.text.find(L"0")) << "the prompt names the bounds";
    EXPECT_NE(std::wstring::npos, prompt.text.find(L"127"));
    ASSERT_TRUE(program_->Answer(prompt));

    EXPECT_FALSE(program_->WaitForBox(1500).window) << "a second box appeared";
    EXPECT_EQ(L"", program_->Text(IDC_UPLOAD_STATUS));
    EXPECT_EQ(before, LoggedFrames(port::kGood).size()) << "the rejected value was sent";
    EXPECT_EQ(file, FileContents());
}

TEST_F(OperatorTest, SyncCrossesTheRampsAndWritesNoFile) {
    ASSERT_TRUE(StartProgram());
    program_->Type(IDC_FWD_ACC, L"5");
    program_->Type(IDC_FWD_SPEED, L"60");
    program_->Type(IDC_FWD_DEC, L"7");
    program_->SetChecked(IDC_FWD_SRC_INT_POT, true);
    program_->Type(IDC_CYCLES, L"321");
    program_->Click(IDC_SYNC);
    EXPECT_TRUE(program_->WaitForText(IDC_REV_ACC, L"7", kOutcomeTimeoutMs));
    EXPECT_EQ(L"60", program_->Text(IDC_REV_SPEED));
    EXPECT_EQ(L"5", program_->Text(IDC_REV_DEC));
    EXPECT_TRUE(program_->IsChecked(IDC_REV_SRC_INT_POT));
    EXPECT_FALSE(program_->IsChecked(IDC_REV_SRC_INTERNAL));
    EXPECT_EQ(L"321", program_->Text(IDC_CYCLES));
    EXPECT_FALSE(FileExists());
}

TEST_F(OperatorTest, EnterWithValidValuesClosesWithoutSaving) {
    ASSERT_TRUE(StartProgram());
    program_->PressEnter(IDC_CYCLES);
    EXPECT_TRUE(program_->WaitForExit(kOutcomeTimeoutMs));
    EXPECT_FALSE(FileExists());
}

TEST_F(OperatorTest, EnterWithAnInvalidValuePromptsAndStaysOpen) {
    ASSERT_TRUE(StartProgram());
    program_->Type(IDC_CYCLES, L"70000");
    program_->PressEnter(IDC_CYCLES);
    const OperatorDriver::Box prompt = program_->WaitForBox(kOutcomeTimeoutMs);
    ASSERT_TRUE(prompt.window);
    EXPECT_NE(std::wstring::npos, prompt.text.find(L"65535"));
    ASSERT_TRUE(program_->Answer(prompt));
    EXPECT_FALSE(program_->WaitForExit(500));
    EXPECT_FALSE(FileExists());
}

// Keys pressed while the send blocks the window are dropped, not replayed into the box.
TEST_F(OperatorTest, KeysPressedDuringTheSendAreDropped) {
    ASSERT_TRUE(StartProgram());
    ChoosePort(port::kSilent, kPortOpened);
    const size_t before = LoggedFrames(port::kSilent).size();
    program_->Focus(IDC_UPLOAD);
    OperatorDriver::PressKey(VK_SPACE);
    ASSERT_TRUE(WaitForUploadingShown());
    OperatorDriver::PressKey(VK_SPACE); // a second press on Upload
    OperatorDriver::PressKey(VK_RETURN);

    const OperatorDriver::Box box = program_->WaitForBox(kOutcomeTimeoutMs);
    ASSERT_TRUE(box.window) << "no box appeared";
    EXPECT_EQ(kUploadFailed, box.text);
    EXPECT_FALSE(WaitUntil(1500, [&] { return !::IsWindow(box.window); }))
        << "the box was answered by the keys pressed before it appeared";
    ASSERT_TRUE(program_->Answer(box));
    EXPECT_TRUE(program_->WaitForText(IDC_UPLOAD_STATUS, kUploadFailed, kOutcomeTimeoutMs));
    EXPECT_FALSE(program_->WaitForBox(1500).window) << "a second upload ran";
    EXPECT_EQ(before + 1, LoggedFrames(port::kSilent).size());
}

// Enter held on Upload is one upload, and its failure box stays until a key is pressed anew.
TEST_F(OperatorTest, AHeldEnterIsOneUploadAndAnswersNoBox) {
    ASSERT_TRUE(StartProgram());
    ChoosePort(port::kSilent, kPortOpened);
    const size_t before = LoggedFrames(port::kSilent).size();
    program_->Focus(IDC_UPLOAD);
    DWORD boxSince = 0;
    program_->HoldKey(VK_RETURN, [&] {
        boxSince = boxSince ? boxSince : program_->WaitForBox(0).window ? ::GetTickCount() : 0;
        return boxSince && ::GetTickCount() - boxSince > 3000; // Wine gives a new box keys late
    });
    EXPECT_TRUE(WaitForUploadingShown()) << "the held key answered the box";
    OperatorDriver::PressKey(VK_RETURN);
    EXPECT_TRUE(program_->WaitForText(IDC_UPLOAD_STATUS, kUploadFailed, kOutcomeTimeoutMs));
    EXPECT_EQ(before + 1, LoggedFrames(port::kSilent).size());
}

// While the send blocks the window, the status really shows "Uploading……" on screen.
TEST_F(OperatorTest, UploadingIsPaintedWhileTheSendBlocks) {
    ASSERT_TRUE(StartProgram());
    ChoosePort(port::kSilent, kPortOpened);
    const HWND status = ::GetDlgItem(program_->MainWindow(), IDC_UPLOAD_STATUS);
    RECT area;
    ::GetWindowRect(status, &area);
    const auto capture = [&] {
        const int width = area.right - area.left, height = area.bottom - area.top;
        std::vector<COLORREF> pixels;
        const HDC screen = ::GetDC(nullptr);
        for (int y = 0; y < height; y += 2) {
            for (int x = 0; x < width; x += 2) {
                pixels.push_back(::GetPixel(screen, area.left + x, area.top + y));
            }
        }
        ::ReleaseDC(nullptr, screen);
        return pixels;
    };
    const std::vector<COLORREF> idle = capture();

    program_->Click(IDC_UPLOAD);
    ASSERT_TRUE(WaitForUploadingShown());
    // The status changes on screen before the send's outcome box comes (after its one-second
    // wait): a program that painted only once the send was over would show both at once.
    bool painted = false;
    EXPECT_TRUE(WaitUntil(kOutcomeTimeoutMs, [&] {
        if (program_->WaitForBox(0).window) {
            return true;
        }
        painted = capture() != idle;
        return painted;
    }));
    EXPECT_TRUE(painted) << "nothing was painted in the status while the send blocked";
    EXPECT_TRUE(program_->WaitForBox(kOutcomeTimeoutMs).window);
}

// Another program holds the file unshared as the program starts (a backup or a scanner): a box
// names it and says the values shown are the start values; then the program goes on as usual.
TEST_F(OperatorTest, AFileAnotherProgramHoldsIsNamedAtStart) {
    WriteParameterFile(settings_files::kEveryValue);
    HeldFile held(FilePath(), HeldFile::Hold::kUnshared);
    ASSERT_TRUE(held.IsHeld());
    ASSERT_TRUE(LaunchProgram());
    const std::wstring text = AnswerFileBox(L"Cannot read the settings file");
    EXPECT_NE(std::wstring::npos, text.find(L"Another program holds the file")) << ToUtf8(text);
    EXPECT_NE(std::wstring::npos, text.find(L"The values shown are the start values"));
    EXPECT_TRUE(program_->IsMinimised());
    program_->Restore();
    EXPECT_EQ(L"108", program_->Text(IDC_FWD_SPEED));
    EXPECT_EQ(kPortNotOpened, program_->Text(IDC_PORT_STATUS)) << "the start values name Com0";
    held.Release();
    ChoosePort(port::kGood, kPortOpened);
    program_->Click(IDC_UPLOAD);
    ASSERT_TRUE(program_->WaitForText(IDC_UPLOAD_STATUS, kUploadDone, kOutcomeTimeoutMs));
    WaitForSaved(WriteParameterText(Defaults(port::kGood)));
}

// Another save holds the file's lock and hangs: the save gives up within its bound and says
// that another program holds the file. Keys pressed meanwhile start no second upload.
TEST_F(OperatorTest, OneKeyIsOneUploadWhileAnotherProgramHoldsTheLock) {
    WriteParameterFile(settings_files::kStartValues);
    ASSERT_TRUE(StartProgram());
    ChoosePort(port::kGood, kPortOpened);
    HeldFile held(FilePath(), HeldFile::Hold::kSaveLock);
    ASSERT_TRUE(held.IsHeld());
    const size_t before = LoggedFrames(port::kGood).size();
    const HWND status = ::GetDlgItem(program_->MainWindow(), IDC_UPLOAD_STATUS);
    program_->Focus(IDC_UPLOAD);
    OperatorDriver::PressKey(VK_SPACE);
    // "Download Complete" is shown before the save, read without a message: the save is waiting.
    ASSERT_TRUE(WaitUntil(kOutcomeTimeoutMs, [&] {
        wchar_t text[64] = {};
        ::GetWindowTextW(status, text, 64);
        return std::wstring(kUploadDone) == text;
    }));
    OperatorDriver::PressKey(VK_SPACE); // a second press on Upload, during the wait
    const std::wstring text = AnswerFileBox(L"Cannot save the settings file");
    EXPECT_NE(std::wstring::npos, text.find(L"Another program holds the file")) << ToUtf8(text);
    EXPECT_EQ(kUploadDone, program_->Text(IDC_UPLOAD_STATUS)) << "the status stays the upload's";
    EXPECT_FALSE(program_->WaitForBox(1500).window) << "a second upload ran";
    EXPECT_EQ(before + 1, LoggedFrames(port::kGood).size());
    held.Release();
    EXPECT_EQ(settings_files::kStartValues, FileContents());
}

namespace {

// The bench's link to a port's simulator taken away and given back, as an adapter is unplugged
// and plugged in again at the same port: Wine then finds no device behind the COM port.
class UnpluggedPort {
public:
    explicit UnpluggedPort(int port) : link_(BenchDir() + "/com" + std::to_string(port)) {
        unplugged_ = Move(link_, link_ + ".unplugged");
    }
    ~UnpluggedPort() { PlugBackIn(); }
    UnpluggedPort(const UnpluggedPort&) = delete;
    UnpluggedPort& operator=(const UnpluggedPort&) = delete;

    bool IsUnplugged() const { return unplugged_; }
    bool PlugBackIn() {
        if (unplugged_ && Move(link_ + ".unplugged", link_)) {
            unplugged_ = false;
        }
        return !unplugged_;
    }

private:
    static bool Move(const std::string& from, const std::string& to) {
        int status = -1;
        return RunOnLinux("/bin/mv -T " + from + " " + to, kOutcomeTimeoutMs, &status) &&
               status == 0;
    }

    std::string link_;
    bool unplugged_ = false;
};

} // namespace

// An adapter that was away when its port was opened, and is back: Upload opens it first, and
// choosing its entry again in the list opens it too, though the selection does not change.
TEST_F(OperatorTest, AnAdapterPluggedBackInIsOpenedAgain) {
    WriteParameterFile(WriteParameterText(Defaults(port::kGood)));
    const size_t before = LoggedFrames(port::kGood).size();
    {
        UnpluggedPort unplugged(port::kGood);
        ASSERT_TRUE(unplugged.IsUnplugged());
        ASSERT_TRUE(StartProgram());
        EXPECT_EQ(kPortNotOpened, program_->Text(IDC_PORT_STATUS));
        ASSERT_NO_FATAL_FAILURE(UploadExpectingFailureBox());
        ASSERT_TRUE(unplugged.PlugBackIn());
    }
    program_->Click(IDC_UPLOAD);
    EXPECT_TRUE(program_->WaitForText(IDC_PORT_STATUS, kPortOpened, kOutcomeTimeoutMs));
    ASSERT_TRUE(program_->WaitForText(IDC_UPLOAD_STATUS, kUploadDone, kOutcomeTimeoutMs))
        << ToUtf8(program_->Text(IDC_UPLOAD_STATUS));
    EXPECT_FALSE(program_->WaitForBox(0).window);
    EXPECT_EQ(before + 1, LoggedFrames(port::kGood).size());

    // Away again when chosen; back, and chosen again with the keyboard: F4 drops the list down,
    // Enter takes the entry already selected.
    ChoosePort(port::kSilent, kPortOpened);
    {
        UnpluggedPort unplugged(port::kGood);
        ASSERT_TRUE(unplugged.IsUnplugged());
        ChoosePort(port::kGood, kPortNotOpened);
        ASSERT_TRUE(unplugged.PlugBackIn());
    }
    program_->Focus(IDC_PORT);
    OperatorDriver::PressKey(VK_F4);
    ASSERT_TRUE(WaitUntil(kOutcomeTimeoutMs, [&] {
        return ::SendMessageW(::GetDlgItem(program_->MainWindow(), IDC_PORT), CB_GETDROPPEDSTATE, 0,
                              0) != 0;
    })) << "the list did not drop down";
    OperatorDriver::PressKey(VK_RETURN);
    EXPECT_TRUE(program_->WaitForText(IDC_PORT_STATUS, kPortOpened, kOutcomeTimeoutMs));
    EXPECT_EQ(port::kGood, program_->ListSelection(IDC_PORT));
    EXPECT_FALSE(program_->HasExited()) << "Enter went to the dialog, not to the list";
}

// A file as a failing test names it.
void PrintTo(const SettingsFile& file, std::ostream* out) {
    *out << file.name;
}

namespace {

// Runs a Windows program to its end; its exit status and what it wrote to stdout and stderr.
struct Finished {
    DWORD status = 0;
    std::string output;
};

// `meanwhile` runs while the program does.
std::optional<Finished> RunProgram(
    const std::wstring& program, const std::wstring& arguments, const std::wstring& workDir,
    const std::function<void()>& meanwhile = [] {}) {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherited, 0)) {
        return std::nullopt;
    }
    const FileHandle reading(readEnd);
    FileHandle writing(writeEnd);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = writeEnd;
    PROCESS_INFORMATION started{};
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                          CREATE_NO_WINDOW, nullptr, workDir.c_str(), &startup, &started)) {
        return std::nullopt;
    }
    const KernelHandle process(started.hProcess);
    const KernelHandle thread(started.hThread);
    writing.Close();
    meanwhile();
    Finished finished;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        finished.output.append(buffer, got);
    }
    if (::WaitForSingleObject(process.get(), kOutcomeTimeoutMs) != WAIT_OBJECT_0 ||
        !::GetExitCodeProcess(process.get(), &finished.status)) {
        return std::nullopt;
    }
    return finished;
}

// What the page's core makes of a file: how many values reading takes, whether it stopped at
// bytes that are not a number, the frame the page's form sends ("" for nothing), and its verdict
// on the save after an upload, with the file found as `found` holds it.
struct PageAnswer {
    int values = -1;
    bool stopsAtUnreadable = false;
    std::string sends;
    std::string save;
};

std::optional<PageAnswer> AskThePagesCore(const std::string& linuxFile, const std::string& found) {
    int status = -1;
    const std::optional<std::string> output = RunOnLinux(
        std::string(VKD_NODE) + " " + VKD_SOURCE_DIR + "/tests/e2e/page-sends.mjs " +
            VKD_SOURCE_DIR + "/web/page/core.mjs " + VKD_CORE_WASM + " " + linuxFile + " " + found,
        kOutcomeTimeoutMs, &status);
    PageAnswer answer;
    char sends[64] = "";
    char save[32] = "";
    int unreadable = 0;
    if (!output || status != 0 ||
        std::sscanf(output->c_str(), "%d %d %63s %31s", &answer.values, &unreadable, sends, save) <
            4) {
        ADD_FAILURE() << "the page's core did not answer: " << output.value_or("(no end)");
        return std::nullopt;
    }
    answer.stopsAtUnreadable = unreadable != 0;
    answer.sends = sends[0] == '-' ? "" : sends;
    answer.save = save;
    return answer;
}

// No face may send a speed source outside 0-2 (bytes 1 and 5 of the frame).
bool SourcesInRange(const std::string& hexFrame) {
    return std::stoi(hexFrame.substr(2, 2), nullptr, 16) <= 2 &&
           std::stoi(hexFrame.substr(10, 2), nullptr, 16) <= 2;
}

class SettingsFileTest : public OperatorTest, public ::testing::WithParamInterface<SettingsFile> {};

} // namespace

// One settings file through every face: the page's core and the dialog send the same bytes or
// nothing, the tool those bytes or a refusal naming the value, and no face a source outside 0-2;
// nor does any save over a reading that stopped, another program's change or a folder.
TEST_P(SettingsFileTest, EveryFaceSendsTheSameOrNothing) {
    const SettingsFile& file = GetParam();
    const bool kept = file.stopsAtUnreadable || !file.changedTo.empty() || file.folder;
    const std::string& left = file.changedTo.empty() ? file.bytes : file.changedTo;
    ParameterSet changed;
    const bool changedToStop = ReadParameterText(file.changedTo, changed).StoppedAtUnreadable();
    if (file.folder) {
        ASSERT_TRUE(::CreateDirectoryW(FilePath().c_str(), nullptr));
    } else {
        WriteParameterFile(file.bytes);
    }

    // The page's core, finding the file at its save as another program left it. Its pickers
    // hand it files only.
    const std::wstring found = file.changedTo.empty() ? FilePath() : dir_ + L"changed";
    if (!file.folder) {
        std::ofstream(found.c_str(), std::ios::binary) << left;
    }
    const std::string linuxFile = LinuxPath(FilePath());
    ASSERT_FALSE(linuxFile.empty());
    if (const std::optional<PageAnswer> page =
            file.folder ? std::nullopt : AskThePagesCore(linuxFile, LinuxPath(found))) {
        EXPECT_EQ(file.values, page->values) << "values read by the page's core";
        EXPECT_EQ(file.stopsAtUnreadable, page->stopsAtUnreadable);
        EXPECT_EQ(file.formsSend, page->sends) << "the page's form";
        EXPECT_EQ(file.changedTo.empty() ? file.stopsAtUnreadable ? "unread" : "write"
                  : changedToStop        ? "changedUnread"
                                         : "changed",
                  page->save);
    }

    // The dialog, on the good controller whatever port the file names.
    size_t before = LoggedFrames(port::kGood).size();
    ASSERT_TRUE(StartProgram());
    if (file.stopsAtUnreadable || file.folder) { // named at start, with where its values stop
        const std::wstring text =
            AnswerFileBox(file.folder ? L"Cannot read the settings file"
                                      : L"Cannot read all of the settings file");
        EXPECT_TRUE(file.folder ||
                    text.find(L"(value " + std::to_wstring(file.values + 1) +
                              L" of 16).\n\nThe values shown are those read before that point; "
                              L"the rest are 0. Uploads will not write over the file") !=
                        std::wstring::npos)
            << ToUtf8(text);
    }
    ChoosePort(port::kGood, kPortOpened);
    if (!file.changedTo.empty()) {
        WriteParameterFile(file.changedTo);
    }
    program_->Click(IDC_UPLOAD);
    if (file.formsSend[0]) {
        EXPECT_TRUE(program_->WaitForText(IDC_UPLOAD_STATUS, kUploadDone, kOutcomeTimeoutMs))
            << ToUtf8(program_->Text(IDC_UPLOAD_STATUS));
        const std::vector<std::string> frames = LoggedFrames(port::kGood);
        ASSERT_EQ(before + 1, frames.size()) << "the dialog sent nothing";
        EXPECT_EQ(file.formsSend, frames.back()) << "the dialog";
        EXPECT_TRUE(SourcesInRange(frames.back()));
        if (file.folder) {
            AnswerFileBox(L"Cannot save the settings file");
        } else if (!file.changedTo.empty()) {
            // Kept unless the operator, asked, says so; then saved over, and saved again unasked.
            const std::wstring changedBox = L"Another program changed the settings file";
            EXPECT_EQ(changedToStop ? 1 : 2, program_->WaitForBox(kOutcomeTimeoutMs).buttons);
            AnswerFileBox(changedBox, IDNO);
            EXPECT_EQ(left, FileContents()) << "the dialog wrote over the change";
            if (!changedToStop) {
                program_->Click(IDC_UPLOAD);
                AnswerFileBox(changedBox, IDYES);
                WaitForSaved(file.bytes); // the form shows the file's values
                program_->ClickAndWaitForHandler(IDC_UPLOAD);
                EXPECT_FALSE(program_->WaitForBox(0).window);
            }
        }
    } else {
        const OperatorDriver::Box prompt = program_->WaitForBox(kOutcomeTimeoutMs);
        ASSERT_TRUE(prompt.window) << "the dialog did not refuse";
        ASSERT_TRUE(program_->Answer(prompt));
        EXPECT_EQ(L"", program_->Text(IDC_UPLOAD_STATUS));
        EXPECT_EQ(before, LoggedFrames(port::kGood).size()) << "the dialog sent a frame";
        EXPECT_EQ(file.bytes, FileContents()) << "the dialog saved";
    }
    program_.reset();
    if (file.stopsAtUnreadable) {
        EXPECT_EQ(left, FileContents()) << "the dialog wrote over the file";
    }

    // The tool, saving as the dialog does. Another program changes the file while its save lock
    // keeps the tool's save, which follows the frame, waiting.
    if (!file.folder) {
        WriteParameterFile(file.bytes);
    }
    before = LoggedFrames(port::kGood).size();
    std::optional<HeldFile> held;
    if (!file.changedTo.empty()) {
        held.emplace(FilePath(), HeldFile::Hold::kSaveLock);
    }
    const std::optional<Finished> tool = RunProgram(
        FromUtf8(VKD_TOOL_PATH), L"upload --save --port COM1 \"" + FilePath() + L"\"", dir_, [&] {
            if (held && WaitUntil(kOutcomeTimeoutMs,
                                  [&] { return LoggedFrames(port::kGood).size() > before; })) {
                WriteParameterFile(file.changedTo);
                held->Release();
            }
        });
    ASSERT_TRUE(tool) << "vkd37.exe did not run";
    if (file.toolRefuses[0] || file.stopsAtUnreadable) {
        EXPECT_EQ(2u, tool->status) << tool->output;
        EXPECT_NE(std::string::npos, tool->output.find(file.toolRefuses)) << tool->output;
        EXPECT_EQ(before, LoggedFrames(port::kGood).size()) << "the tool sent a frame";
    } else {
        EXPECT_EQ(kept ? 4u : 0u, tool->status) << tool->output;
        const std::vector<std::string> frames = LoggedFrames(port::kGood);
        ASSERT_EQ(before + 1, frames.size()) << "the tool sent nothing: " << tool->output;
        EXPECT_EQ(file.formsSend, frames.back()) << "the tool";
        EXPECT_TRUE(SourcesInRange(frames.back()));
    }
    if (!file.folder && (kept || file.toolRefuses[0])) {
        EXPECT_EQ(left, FileContents()) << "the tool wrote over the file";
    }
}

// "rev.source -1" is RevSourceMinus1.
std::string SettingsFileName(const ::testing::TestParamInfo<SettingsFile>& info) {
    std::string name;
    bool upper = true;
    for (const char c : std::string(info.param.name)) {
        if (c == '-') {
            name += "Minus";
            upper = false;
        } else if (std::isalnum(static_cast<unsigned char>(c))) {
            name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
            upper = false;
        } else {
            upper = true;
        }
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Faces, SettingsFileTest, ::testing::ValuesIn(SettingsFiles()),
                         SettingsFileName);
