#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "SimulatorLog.h"
#include "link/SerialLink.h"
#include "link/SerialPort.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The bound on an outcome that must come: generous, for a loaded machine.
constexpr long long kOutcomeMs = 15000;

template <class Condition> bool WaitUntil(long long limitMs, Condition done) {
    for (const auto deadline = Clock::now() + milliseconds(limitMs); !done();) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
    return true;
}

UploadFrame TestFrame(std::uint8_t tag) {
    return {0x03, tag,  0x0A, 0x6B, 0x0A, 0x00, 0x0A, 0x6B, 0x0A, 0x00,
            0x00, 0x64, 0x00, 0x00, 0xC8, 0x00, 0x00, 0xC8, 0x01};
}

std::string LastLoggedFrame(int port) {
    const std::vector<std::string> frames = LoggedFrames(port);
    return frames.empty() ? std::string() : frames.back();
}

struct TimedResult {
    int result;
    milliseconds elapsed;
};

TimedResult TimedSend(SerialLink& link, const UploadFrame& frame) {
    const auto start = Clock::now();
    const int result = link.SendFrame(frame);
    return {result, std::chrono::duration_cast<milliseconds>(Clock::now() - start)};
}

// Exit code of open_port_probe, which sits next to this executable.
DWORD OpenPortInOtherProcess(int port) {
    wchar_t self[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command(self, length);
    command.erase(command.find_last_of(L"\\/") + 1);
    command = L"\"" + command + L"open_port_probe.exe\" " + std::to_wstring(port);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        return 100;
    }
    FileHandle processHandle(process.hProcess);
    FileHandle threadHandle(process.hThread);
    DWORD exitCode = 101;
    if (::WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0) {
        ::GetExitCodeProcess(process.hProcess, &exitCode);
    }
    return exitCode;
}

bool RunningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

class SerialLinkTest : public ::testing::Test {
protected:
    SerialLink link;
};

} // namespace

TEST_F(SerialLinkTest, PortsThatDoNotExistStayClosed) {
    EXPECT_EQ(0, link.OpenPort(0));
    EXPECT_FALSE(link.hLinkHandle.IsValid());
    EXPECT_EQ(0, link.bOpened);
    // Without the "\\.\" prefix only COM1 to COM9 name devices; COM20 is a file that is not there.
    const std::optional<PortFailure> missing = link.Open(20);
    ASSERT_TRUE(missing);
    EXPECT_EQ(PortFault::kMissing, missing->fault);
    EXPECT_FALSE(missing->cause.empty()) << "the system's words are kept";
    EXPECT_EQ(0, link.bOpened);
    EXPECT_EQ(0, link.SendFrame(TestFrame(0x20)));
}

TEST_F(SerialLinkTest, FileThatIsNotASerialPortIsClosedAgain) {
    // The same plain name that misses a device finds an ordinary file in the working folder.
    {
        std::ofstream file("COM21");
        file << "not a port";
    }
    const std::optional<PortFailure> notSerial = link.Open(21);
    ASSERT_TRUE(notSerial);
    EXPECT_EQ(PortFault::kNotSerial, notSerial->fault);
    EXPECT_NE(std::string::npos, notSerial->text.find("cannot read the line settings: "))
        << notSerial->text;
    EXPECT_FALSE(link.hLinkHandle.IsValid());
    EXPECT_EQ(0, link.bOpened);
    // Deleting works only once nothing holds the file open.
    EXPECT_TRUE(::DeleteFileW(L"COM21"));
}

TEST_F(SerialLinkTest, OpenPortKeepsThePortAlreadyOpen) {
    ASSERT_EQ(1, link.OpenPort(port::kGood));
    EXPECT_EQ(1, link.bOpened);
    EXPECT_EQ(1, link.OpenPort(port::kLateEcho));
    // The late-echo port would fail this send; the good controller answers it.
    const UploadFrame frame = TestFrame(0x51);
    EXPECT_EQ(1, link.SendFrame(frame));
    EXPECT_EQ(Hex(frame), LastLoggedFrame(port::kGood));
}

TEST_F(SerialLinkTest, PortIsExclusiveToItsHolder) {
    if (RunningUnderWine()) {
        // The wineserver checks share modes only for regular files and directories, so a
        // second open of a serial device succeeds there whatever the first one asked for.
        GTEST_SKIP() << "Wine does not enforce exclusive opens of serial devices";
    }
    ASSERT_EQ(1, link.OpenPort(port::kGood));
    EXPECT_EQ(0u, OpenPortInOtherProcess(port::kGood));
    link.ClosePort();
    EXPECT_EQ(1u, OpenPortInOtherProcess(port::kGood));
}

TEST_F(SerialLinkTest, CleanEchoIsAcceptedAndTheControllerGetsTheExactBytes) {
    ASSERT_EQ(1, link.OpenPort(port::kGood));
    const UploadFrame plain = TestFrame(0x41);
    EXPECT_EQ(1, link.SendFrame(plain));
    EXPECT_EQ(Hex(plain), LastLoggedFrame(port::kGood));

    // Bytes a text-mode or flow-controlled line would eat or translate: NUL, ETX, LF, CR,
    // XON, XOFF, Ctrl-Z and 0xFF.
    const UploadFrame binary = {0x03, 0x00, 0x0A, 0x0D, 0x11, 0x13, 0x1A, 0xFF, 0x0D, 0x0A,
                                0x11, 0x13, 0x00, 0xFF, 0x1A, 0x03, 0x13, 0x11, 0xFF};
    EXPECT_EQ(1, link.SendFrame(binary));
    EXPECT_EQ(Hex(binary), LastLoggedFrame(port::kGood));
}

// A terminal program used earlier leaves its settings on the port, and drivers keep them.
TEST_F(SerialLinkTest, SettingsLeftByAnotherProgramDoNotEatBytes) {
    {
        const std::wstring name = L"COM" + std::to_wstring(port::kGood);
        FileHandle other(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(other.IsValid());
        DCB left{};
        left.DCBlength = sizeof left;
        ASSERT_TRUE(::GetCommState(other.get(), &left));
        left.fOutX = left.fInX = TRUE;
        left.fNull = TRUE;
        left.fAbortOnError = TRUE;
        ASSERT_TRUE(::SetCommState(other.get(), &left));
    }
    ASSERT_EQ(1, link.OpenPort(port::kGood));
    const UploadFrame frame = {0x03, 0x00, 0x11, 0x6B, 0x13, 0x00, 0x0A, 0x6B, 0x0A, 0x00,
                               0x00, 0x13, 0x00, 0x00, 0xC8, 0x00, 0x11, 0xC8, 0x00};
    EXPECT_EQ(1, link.SendFrame(frame));
    EXPECT_EQ(Hex(frame), LastLoggedFrame(port::kGood));
    EXPECT_FALSE(link.dcb.fOutX || link.dcb.fInX || link.dcb.fNull || link.dcb.fAbortOnError);
    EXPECT_TRUE(link.dcb.fBinary);
}

// A pseudo-terminal forces 8 data bits without parity whatever it is told, so what another
// program may leave on a real port is checked on the settings the link makes of it: whatever it
// left, the line comes out in the controller's format, passes every byte as it is, keeps the
// handshaking the port reported, and a second pass changes nothing.
TEST(ControllerLine, WhateverAnotherProgramLeftTheLineIsTheControllers) {
    const auto handshaking = [](const DCB& dcb) {
        return std::array<DWORD, 5>{dcb.fOutxCtsFlow, dcb.fOutxDsrFlow, dcb.fDtrControl,
                                    dcb.fRtsControl, dcb.fDsrSensitivity};
    };
    DCB none{};
    DCB all;
    std::memset(&all, 0xFF, sizeof all);
    DCB terminal{};
    terminal.fParity = terminal.fOutX = terminal.fInX = terminal.fOutxCtsFlow = TRUE;
    terminal.Parity = ODDPARITY;
    terminal.ByteSize = 7;
    terminal.StopBits = TWOSTOPBITS;
    for (const DCB& left : {none, all, terminal}) {
        DCB line = left;
        ApplyControllerLine(line);
        EXPECT_EQ(LineTiming::kBaudRate, line.BaudRate);
        EXPECT_TRUE(line.ByteSize == 8 && line.Parity == NOPARITY && line.StopBits == ONESTOPBIT);
        EXPECT_TRUE(line.fBinary && !line.fParity && !line.fOutX && !line.fInX && !line.fNull &&
                    !line.fErrorChar && !line.fAbortOnError);
        EXPECT_EQ(handshaking(left), handshaking(line));
        DCB again = line;
        ApplyControllerLine(again);
        EXPECT_EQ(0, std::memcmp(&again, &line, sizeof line));
    }
}

// Each controller of the bench, and how the exchange with it ends. The pauses and delays are far
// from the time-outs they cross (LineTiming's interval and transfer limit); the bounds only
// guard against a read that returns at once or never, loose enough for a loaded machine.
TEST_F(SerialLinkTest, EachEchoIsJudgedByTheRule) {
    const struct {
        int port;
        EchoOutcome outcome;
        long long atLeastMs;
    } cases[] = {
        {port::kShortGap, EchoOutcome::kConfirmed, 0},
        {port::kCorruptByte18, EchoOutcome::kChangedEcho, 0},
        {port::kShortEcho, EchoOutcome::kShortEcho, 0},
        {port::kSilent, EchoOutcome::kNoEcho, 500},
        {port::kLongGap, EchoOutcome::kShortEcho, 0},
        {port::kLateEcho, EchoOutcome::kNoEcho, 500},
    };
    std::uint8_t tag = 0x02;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        SerialLink controller;
        ASSERT_EQ(1, controller.OpenPort(c.port));
        const UploadFrame frame = TestFrame(++tag);
        const auto start = Clock::now();
        const std::optional<EchoResult> result = controller.Exchange(frame);
        const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
        ASSERT_TRUE(result);
        EXPECT_EQ(c.outcome, result->outcome);
        EXPECT_GE(took, c.atLeastMs);
        EXPECT_LE(took, kOutcomeMs);
        EXPECT_EQ(Hex(frame), LastLoggedFrame(c.port));
    }
}

TEST_F(SerialLinkTest, ExtraBytesAfterTheEchoDoNotSpoilThisSendOrTheNext) {
    ASSERT_EQ(1, link.OpenPort(port::kExtraBytes));
    EXPECT_EQ(1, link.SendFrame(TestFrame(0x08)));
    // Once the five extras are in, the next send must discard them rather than read them as its
    // echo.
    EXPECT_TRUE(WaitUntil(kOutcomeMs, [&] {
        return QueuedInput(link.hLinkHandle.get()).value_or(0) >= 5;
    })) << "the extra bytes did not arrive";
    EXPECT_EQ(1, link.SendFrame(TestFrame(0x09)));
}

TEST_F(SerialLinkTest, LineDroppedMidFrameFailsAndAReopenWorks) {
    ASSERT_EQ(1, link.OpenPort(port::kDropsMidFrame));
    const TimedResult send = TimedSend(link, TestFrame(0x19));
    EXPECT_EQ(0, send.result);
    EXPECT_LE(send.elapsed.count(), kOutcomeMs);

    // The simulator offers a new line under the same name once it has dropped the old one.
    link.ClosePort();
    int opened = 0;
    for (const auto deadline = Clock::now() + std::chrono::seconds(30);
         !opened && Clock::now() < deadline;) {
        std::this_thread::sleep_for(milliseconds(100));
        opened = link.OpenPort(port::kDropsMidFrame);
    }
    ASSERT_EQ(1, opened);
    EXPECT_EQ(1, link.SendFrame(TestFrame(0x1A)));
}

TEST_F(SerialLinkTest, SendAfterClosePortFailsAtOnceWithoutTouchingThePort) {
    ASSERT_EQ(1, link.OpenPort(port::kGood));
    ASSERT_EQ(1, link.SendFrame(TestFrame(0x31)));
    const size_t framesBefore = LoggedFrames(port::kGood).size();
    link.ClosePort();
    EXPECT_EQ(0, link.bOpened);
    EXPECT_FALSE(link.hLinkHandle.IsValid());

    // At once: well inside the read time-out that a send on the port would wait.
    const TimedResult send = TimedSend(link, TestFrame(0x32));
    EXPECT_EQ(0, send.result);
    EXPECT_LT(send.elapsed.count(), 1000);
    EXPECT_FALSE(link.Exchange(TestFrame(0x32))) << "no port, nothing sent: not a failed write";
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_EQ(framesBefore, LoggedFrames(port::kGood).size());

    link.ClosePort(); // closing twice is harmless
    EXPECT_EQ(1, link.OpenPort(port::kGood));
}
