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
#include "ResourceScript.h"
#include "Scratch.h"
#include "SettingsFiles.h"
#include "SimulatorLog.h"
#include "link/UploadFrame.h"
#include "store/ParameterFile.h"
#include "model/ParameterSet.h"
#include "model/ParameterText.h"
#include "res/resource.h"
#include "ui/StatusLook.h"

namespace {

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
    // Every value away from its start value, on the good controller's port.
    ParameterSet expected;
    ReadParameterText(settings_files::kEveryValue, expected);
    expected.m_nPort = port::kGood;
    std::ofstream(file, std::ios::binary) << WriteParameterText(expected);

    const DWORD started = ::GetTickCount();
    StartOutcome start = OperatorDriver::Start(FromUtf8(VKD_SHIPPED_PROGRAM), dir, kStartMs);
    ASSERT_TRUE(start) << start.failure.text;
    std::unique_ptr<OperatorDriver> program = std::move(start.program);
    // The legend is ticked at the end of start-up.
    ASSERT_TRUE(WaitUntil(kOutcomeMs, [&] { return program->IsChecked(IDC_LEGEND_ON); }));
    std::cout << "[ shipped  ] the window is up after " << (::GetTickCount() - started) / 1000
              << " s (under emulation)" << std::endl;

    // Starts and stays minimised.
    EXPECT_TRUE(program->IsMinimised());
    ::Sleep(1000);
    EXPECT_TRUE(program->IsMinimised()) << "the window did not stay minimised";

    // The saved port is open, the file's values are in the form.
    ASSERT_FALSE(program->HasExited()) << "the program ended during start-up";
    EXPECT_TRUE(program->WaitForText(IDC_PORT_STATUS, kPortOpened, kOutcomeMs))
        << "COM1 from the file was not opened";
    EXPECT_EQ(port::kGood, program->ListSelection(IDC_PORT));
    EXPECT_EQ(std::to_wstring(expected.m_nCycles), program->Text(IDC_CYCLES));
    program->Restore();

    // An upload of the mixed profile, with one value changed as the operator types it.
    program->Type(IDC_CYCLES, L"40000");
    expected.m_nCycles = 40000;
    UploadFrame frame;
    BuildUploadFrame(expected, frame);
    const size_t goodBefore = LoggedFrames(port::kGood).size();
    program->Click(IDC_UPLOAD);
    EXPECT_TRUE(program->WaitForText(IDC_UPLOAD_STATUS, kUploadDone, kOutcomeMs))
        << "no \"Download Complete\"";
    const std::vector<std::string> good = LoggedFrames(port::kGood);
    ASSERT_EQ(goodBefore + 1, good.size()) << "COM1's simulator did not get one frame";
    EXPECT_EQ(Hex(frame), good.back());
    expectSaved(expected);
    EXPECT_FALSE(program->WaitForBox(0).window) << "a box after a good upload";
    ASSERT_FALSE(program->HasExited()) << "the program ended after the upload";

    // The silent controller on COM2: the failure box, and the file saved with the new port.
    program->ChooseListEntry(IDC_PORT, port::kSilent);
    EXPECT_TRUE(
        WaitUntil(kOutcomeMs, [&] { return program->ListSelection(IDC_PORT) == port::kSilent; }));
    EXPECT_TRUE(program->WaitForText(IDC_PORT_STATUS, kPortOpened, kOutcomeMs));
    const size_t silentBefore = LoggedFrames(port::kSilent).size();
    program->Click(IDC_UPLOAD);
    const OperatorDriver::Box box = program->WaitForBox(kOutcomeMs);
    ASSERT_TRUE(box.window) << "no \"Download Failed\" box";
    EXPECT_EQ(kUploadFailed, box.text);
    // The program's name is the boxes' caption.
    EXPECT_EQ(std::filesystem::path(FromUtf8(VKD_SHIPPED_PROGRAM)).stem().wstring(), box.caption);
    ASSERT_TRUE(program->Answer(box));
    EXPECT_TRUE(program->WaitForText(IDC_UPLOAD_STATUS, kUploadFailed, kOutcomeMs));
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
        program->Click(IDC_UPLOAD);
        const OperatorDriver::Box failed = program->WaitForBox(kOutcomeMs);
        ASSERT_TRUE(failed.window) << "no \"Download Failed\" box";
        EXPECT_EQ(kUploadFailed, failed.text);
        ASSERT_TRUE(program->Answer(failed));
        const OperatorDriver::Box notSaved = program->WaitForBox(kOutcomeMs);
        ASSERT_TRUE(notSaved.window) << "no box about the file";
        EXPECT_EQ(0u, notSaved.text.find(L"Cannot save the settings file\n" + file.wstring()))
            << "the box names the file";
        EXPECT_NE(std::wstring::npos, notSaved.text.find(L"Another program holds the file"));
        ASSERT_TRUE(program->Answer(notSaved));
        EXPECT_EQ(kUploadFailed, program->Text(IDC_UPLOAD_STATUS));
    }
    expectSaved(expected);

    // The About box, from the system menu's last item.
    ::PostMessageW(program->MainWindow(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    const OperatorDriver::Box about = program->WaitForBox(kOutcomeMs);
    ASSERT_TRUE(about.window) << "no About box";
    EXPECT_EQ(FromUtf8(ReadScriptDialog("IDD_ABOUTBOX").caption), about.caption);
    EXPECT_EQ(1, about.buttons);
    ASSERT_TRUE(program->Answer(about));

    // The close box ends the program.
    ::PostMessageW(program->MainWindow(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(program->WaitForExit(kOutcomeMs)) << "the window did not close";
    std::cout << "[ shipped  ] closed " << (::GetTickCount() - started) / 1000
              << " s after the start (under emulation)" << std::endl;

    program.reset();
}
