// The dialog as it ships: the 32-bit program taken from the zip, started under 32-bit Wine
// (through qemu-i386) and driven from this 64-bit process through the shared wineserver, against
// the bench's simulators. One start does the whole round an operator does, in sequence.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "HeldFile.h"
#include "OperatorDriver.h"
#include "Scratch.h"
#include "SimulatorLog.h"
#include "link/UploadFrame.h"
#include "store/ParameterFile.h"
#include "model/ParameterSet.h"
#include "model/ParameterText.h"

namespace {

// Control ids of the main dialog (res/resource.h).
enum : int {
    kCycles = 1006,
    kPort = 1009,
    kUpload = 1010,
    kPortStatus = 1012,
    kLegendOn = 1020,
    kUploadStatus = 1026,
};
constexpr UINT kAboutItem = 0x0010; // IDM_ABOUTBOX, the system menu's last item

const std::wstring kOpened = L"Suceed Open Serial Port";
const std::wstring kComplete = L"Download Complete";
const std::wstring kFailed = L"Download Failed";
const std::wstring kBoxCaption = L"VKD-37\u53c2\u6570\u8bbe\u5b9a\u7a0b\u5e8f";
const std::wstring kAboutCaption = L"About NORVEL AXIS PANEL";

// Generous bounds on outcomes: under emulation code is translated when it first runs (a box, the
// port), and the machine may be loaded.
constexpr DWORD kStartMs = 2 * 60 * 1000;
constexpr DWORD kOutcomeMs = 60 * 1000;

std::wstring FromUtf8(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<size_t>(
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                              static_cast<int>(wide.size()))));
    return wide;
}

// Both profiles mixed: different speed sources, the extremes of each range, every option on.
ParameterSet MixedProfile() {
    ParameterSet set;
    set.ApplyMissingFileValues();
    set.m_nPort = port::kGood;
    set.m_nFwdSource = kSpeedExternalPot;
    set.m_nFwdAcc = 5;
    set.m_nFwdSpeed = 60;
    set.m_nFwdDec = 7;
    set.m_nRevSource = kSpeedInternalPot;
    set.m_nRevAcc = 0;
    set.m_nRevSpeed = 1;
    set.m_nRevDec = 127;
    set.m_nCycles = 65535;
    set.m_bCyclesOn = 1;
    set.m_nHomeDelay = 16777210;
    set.m_bHomeDelayOn = 1;
    set.m_nEndDelay = 15;
    set.m_bEndDelayOn = 1;
    set.m_bAutoHome = 1;
    return set;
}

} // namespace

TEST(ShippedDialog, StartsUploadsFailsShowsAboutAndCloses) {
    const ScratchFolder scratch("vkd37-shipped");
    const std::wstring dir = scratch.Path().wstring() + L"\\";
    const std::filesystem::path file = scratch / kParameterFileName;

    // Saved after every upload attempt, byte for byte as the writer spells the values.
    const auto expectSaved = [&](const ParameterSet& set) {
        const std::string text = WriteParameterText(set);
        EXPECT_TRUE(WaitUntil(kOutcomeMs, [&] { return ReadWholeFile(file) == text; }))
            << "file holds \"" << ReadWholeFile(file) << "\", expected \"" << text << "\"";
    };
    ParameterSet expected = MixedProfile();
    std::ofstream(file, std::ios::binary) << WriteParameterText(expected);

    const DWORD started = ::GetTickCount();
    std::unique_ptr<OperatorDriver> program =
        OperatorDriver::Start(FromUtf8(VKD_SHIPPED_PROGRAM), dir, kStartMs);
    ASSERT_TRUE(program) << "the main window of " << VKD_SHIPPED_PROGRAM << " did not appear";
    // The legend is ticked at the end of start-up.
    ASSERT_TRUE(WaitUntil(kOutcomeMs, [&] { return program->IsChecked(kLegendOn); }));
    std::cout << "[ shipped  ] the window is up after " << (::GetTickCount() - started) / 1000
              << " s (under emulation)" << std::endl;

    // Starts and stays minimised.
    EXPECT_TRUE(program->IsMinimised());
    ::Sleep(1000);
    EXPECT_TRUE(program->IsMinimised()) << "the window did not stay minimised";

    // The saved port is open, the file's values are in the form.
    ASSERT_FALSE(program->HasExited()) << "the program ended during start-up";
    EXPECT_TRUE(program->WaitForText(kPortStatus, kOpened, kOutcomeMs))
        << "COM1 from the file was not opened";
    EXPECT_EQ(port::kGood, program->ListSelection(kPort));
    EXPECT_EQ(L"65535", program->Text(kCycles));
    program->Restore();

    // An upload of the mixed profile, with one value changed as the operator types it.
    program->Type(kCycles, L"40000");
    expected.m_nCycles = 40000;
    UploadFrame frame;
    BuildUploadFrame(expected, frame);
    ASSERT_EQ("0302053B07017F0000009C4019999900000101", Hex(frame));
    const size_t goodBefore = LoggedFrames(port::kGood).size();
    program->Click(kUpload);
    EXPECT_TRUE(program->WaitForText(kUploadStatus, kComplete, kOutcomeMs))
        << "no \"Download Complete\"";
    const std::vector<std::string> good = LoggedFrames(port::kGood);
    ASSERT_EQ(goodBefore + 1, good.size()) << "COM1's simulator did not get one frame";
    EXPECT_EQ(Hex(frame), good.back());
    expectSaved(expected);
    EXPECT_FALSE(program->WaitForBox(0).window) << "a box after a good upload";
    ASSERT_FALSE(program->HasExited()) << "the program ended after the upload";

    // The silent controller on COM2: the failure box, and the file saved with the new port.
    program->ChooseListEntry(kPort, port::kSilent);
    EXPECT_TRUE(
        WaitUntil(kOutcomeMs, [&] { return program->ListSelection(kPort) == port::kSilent; }));
    EXPECT_TRUE(program->WaitForText(kPortStatus, kOpened, kOutcomeMs));
    const size_t silentBefore = LoggedFrames(port::kSilent).size();
    program->Click(kUpload);
    const OperatorDriver::Box box = program->WaitForBox(kOutcomeMs);
    ASSERT_TRUE(box.window) << "no \"Download Failed\" box";
    EXPECT_EQ(kFailed, box.text);
    EXPECT_EQ(kBoxCaption, box.caption);
    ASSERT_TRUE(program->Answer(box));
    EXPECT_TRUE(program->WaitForText(kUploadStatus, kFailed, kOutcomeMs));
    const std::vector<std::string> silent = LoggedFrames(port::kSilent);
    ASSERT_EQ(silentBefore + 1, silent.size()) << "COM2's simulator did not get one frame";
    EXPECT_EQ(Hex(frame), silent.back());
    expected.m_nPort = port::kSilent;
    expectSaved(expected);
    ASSERT_FALSE(program->HasExited()) << "the program ended after the failed upload";

    // Another program's save holds the file's lock and hangs: after the upload's own box, one
    // names the file and says so, and the file stays as it was.
    {
        const HeldFile held(file.wstring(), HeldFile::Hold::kSaveLock);
        ASSERT_TRUE(held.IsHeld());
        program->Click(kUpload);
        const OperatorDriver::Box failed = program->WaitForBox(kOutcomeMs);
        ASSERT_TRUE(failed.window) << "no \"Download Failed\" box";
        EXPECT_EQ(kFailed, failed.text);
        ASSERT_TRUE(program->Answer(failed));
        const OperatorDriver::Box notSaved = program->WaitForBox(kOutcomeMs);
        ASSERT_TRUE(notSaved.window) << "no box about the file";
        EXPECT_EQ(0u, notSaved.text.find(L"Cannot save the settings file\n" + file.wstring()))
            << "the box names the file";
        EXPECT_NE(std::wstring::npos, notSaved.text.find(L"Another program holds the file"));
        ASSERT_TRUE(program->Answer(notSaved));
        EXPECT_EQ(kFailed, program->Text(kUploadStatus));
    }
    expectSaved(expected);

    // The About box, from the system menu's last item.
    ::PostMessageW(program->MainWindow(), WM_SYSCOMMAND, kAboutItem, 0);
    const OperatorDriver::Box about = program->WaitForBox(kOutcomeMs);
    ASSERT_TRUE(about.window) << "no About box";
    EXPECT_EQ(kAboutCaption, about.caption);
    EXPECT_EQ(1, about.buttons);
    ASSERT_TRUE(program->Answer(about));

    // The close box ends the program.
    ::PostMessageW(program->MainWindow(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(program->WaitForExit(kOutcomeMs)) << "the window did not close";
    std::cout << "[ shipped  ] closed " << (::GetTickCount() - started) / 1000
              << " s after the start (under emulation)" << std::endl;

    program.reset();
}
