#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "link/UploadFrame.h"
#include "ChildProcess.h"
#include "Scratch.h"
#include "platform/Handles.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const UploadFrame kFrame = {0x03, 0x00, 0x0A, 0x6B, 0x0A, 0x00, 0x0A, 0x6B, 0x0A, 0x00,
                            0x00, 0x64, 0x00, 0x00, 0xC8, 0x00, 0x00, 0xC8, 0x01};
const std::vector<std::uint8_t> kEcho(kFrame.begin(), kFrame.end());

int MillisecondsLeft(Clock::time_point deadline) {
    return ChildProcess::MillisecondsLeft(deadline);
}

// The simulator as a child process.
class SimProcess : public ChildProcess {
public:
    explicit SimProcess(std::vector<std::string> arguments)
        : ChildProcess(VKD37_SIM_PATH, std::move(arguments)) {}
};

// The program's end of the line, opened as a serial port would be.
UniqueFd OpenPort(const std::string& path) {
    UniqueFd port(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    termios settings{};
    if (port.IsValid() && ::tcgetattr(port.get(), &settings) == 0) {
        ::cfmakeraw(&settings);
        ::tcsetattr(port.get(), TCSANOW, &settings);
    }
    return port;
}

bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t count) {
    return ::write(fd, bytes, count) == static_cast<ssize_t>(count);
}

bool SendFrame(int fd) {
    return WriteAll(fd, kFrame.data(), kFrame.size());
}

struct Received {
    std::vector<std::uint8_t> bytes;
    milliseconds longestGap{0}; // between two reads that returned data
    std::size_t bytesBeforeLongestGap = 0;
};

// Reads until `want` bytes arrived or `limit` passed.
Received ReadBytes(int fd, std::size_t want, milliseconds limit) {
    Received received;
    const Clock::time_point deadline = Clock::now() + limit;
    std::optional<Clock::time_point> lastArrival;
    while (received.bytes.size() < want) {
        pollfd watched{fd, POLLIN, 0};
        if (::poll(&watched, 1, MillisecondsLeft(deadline)) <= 0) {
            break;
        }
        std::uint8_t buffer[64];
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count <= 0) {
            break;
        }
        const Clock::time_point now = Clock::now();
        if (lastArrival && now - *lastArrival > received.longestGap) {
            received.longestGap = std::chrono::duration_cast<milliseconds>(now - *lastArrival);
            received.bytesBeforeLongestGap = received.bytes.size();
        }
        lastArrival = now;
        received.bytes.insert(received.bytes.end(), buffer, buffer + count);
    }
    return received;
}

// Whether the line went away under the open port.
bool HungUp(int fd, milliseconds limit) {
    pollfd watched{fd, POLLIN, 0};
    if (::poll(&watched, 1, static_cast<int>(limit.count())) <= 0) {
        return false;
    }
    std::uint8_t byte;
    return (watched.revents & (POLLHUP | POLLERR)) != 0 || ::read(fd, &byte, 1) <= 0;
}

} // namespace

TEST(SimProcess, EchoesAFrameReportsItAndStopsAtTheFrameLimit) {
    SimProcess sim({"--max-frames", "1"});
    ASSERT_TRUE(sim.IsRunning());
    const UniqueFd port = OpenPort(sim.ReadPort());
    ASSERT_TRUE(port.IsValid());
    ASSERT_TRUE(SendFrame(port.get()));
    EXPECT_EQ(kEcho, ReadBytes(port.get(), 19, milliseconds(3000)).bytes);
    EXPECT_EQ("#1 FWD internal ACC 10 speed 108 DEC 10 | REV internal ACC 10 speed 108 DEC 10 | "
              "cycles 100 | home delay 2000 ms | end delay 2000 ms | auto homing on",
              sim.ReadLine().value_or("no line"));
    EXPECT_EQ(0, sim.WaitForExit());
}

// Each read waits for more bytes than the answer has, up to a limit far past the answer's time.
TEST(SimProcess, ShortCorruptedAndLongEchoes) {
    {
        SimProcess sim({"--echo-bytes", "5"});
        const UniqueFd port = OpenPort(sim.ReadPort());
        ASSERT_TRUE(SendFrame(port.get()));
        EXPECT_EQ(std::vector<std::uint8_t>(kEcho.begin(), kEcho.begin() + 5),
                  ReadBytes(port.get(), 19, milliseconds(2000)).bytes);
    }
    {
        SimProcess sim({"--corrupt", "18", "--no-pace"});
        const UniqueFd port = OpenPort(sim.ReadPort());
        ASSERT_TRUE(SendFrame(port.get()));
        std::vector<std::uint8_t> expected = kEcho;
        expected[18] ^= 0xFF;
        EXPECT_EQ(expected, ReadBytes(port.get(), 20, milliseconds(2000)).bytes);
    }
    {
        SimProcess sim({"--extra", "3", "--json"});
        const UniqueFd port = OpenPort(sim.ReadPort());
        ASSERT_TRUE(SendFrame(port.get()));
        std::vector<std::uint8_t> expected = kEcho;
        expected.insert(expected.end(), {0xA5, 0x5A, 0xA5});
        EXPECT_EQ(expected, ReadBytes(port.get(), 30, milliseconds(2000)).bytes);
        const std::string line = sim.ReadLine().value_or("");
        EXPECT_EQ(0u, line.find("{\"n\":1,\"bytes\":\"03000A6B0A000A6B0A0000640000C80000C801\""))
            << line;
        EXPECT_NE(std::string::npos, line.find("\"echo\":22}")) << line;
    }
}

// A long pause, so that a reader or a simulator slowed down by a loaded machine still sees it.
TEST(SimProcess, GapSplitsTheEchoAtTheGivenByte) {
    SimProcess sim({"--gap-ms", "1500", "--gap-at", "10"});
    const UniqueFd port = OpenPort(sim.ReadPort());
    ASSERT_TRUE(SendFrame(port.get()));
    const Received received = ReadBytes(port.get(), 19, milliseconds(6000));
    EXPECT_EQ(kEcho, received.bytes);
    EXPECT_GE(received.longestGap, milliseconds(750));
    EXPECT_EQ(10u, received.bytesBeforeLongestGap);
}

TEST(SimProcess, SilentSendsNothing) {
    SimProcess sim({"--silent"});
    const UniqueFd port = OpenPort(sim.ReadPort());
    ASSERT_TRUE(SendFrame(port.get()));
    EXPECT_TRUE(ReadBytes(port.get(), 1, milliseconds(300)).bytes.empty());
    EXPECT_NE(std::string::npos, sim.ReadLine().value_or("").find("#1 FWD"));
}

TEST(SimProcess, DroppedLineIsReplacedByAWorkingOne) {
    SimProcess sim({"--drop-after", "19"});
    const UniqueFd first = OpenPort(sim.ReadPort());
    ASSERT_TRUE(SendFrame(first.get()));
    EXPECT_TRUE(HungUp(first.get(), milliseconds(5000)));

    const UniqueFd second = OpenPort(sim.ReadPort());
    ASSERT_TRUE(second.IsValid());
    ASSERT_TRUE(SendFrame(second.get()));
    EXPECT_EQ(kEcho, ReadBytes(second.get(), 19, milliseconds(3000)).bytes);
    EXPECT_NE(std::string::npos, sim.ErrorText().find("dropping the line after 19 bytes"));
}

// The pause is ten times the limit, so that the simulator, however slowed down, reads the partial
// frame well before the whole one.
TEST(SimProcess, PartialFrameIsDiscardedAfterAPause) {
    SimProcess sim({});
    const UniqueFd port = OpenPort(sim.ReadPort());
    ASSERT_TRUE(WriteAll(port.get(), kFrame.data(), 7));
    std::this_thread::sleep_for(milliseconds(1000));
    ASSERT_TRUE(SendFrame(port.get()));
    EXPECT_EQ(kEcho, ReadBytes(port.get(), 38, milliseconds(2000)).bytes);
    EXPECT_NE(std::string::npos, sim.ErrorText().find("discarded a partial frame of 7 bytes"));
}

// The link is told on standard output, or with --json on standard error, so that standard
// output holds only the port lines and the frames.
TEST(SimProcess, TerminationRemovesTheLinkAndExitsCleanly) {
    const ScratchFolder scratch("vkd37-sim");
    const std::string link = scratch / "com";
    for (const bool json : {false, true}) {
        SCOPED_TRACE(json ? "--json" : "text");
        ASSERT_EQ(0, ::symlink("/nonexistent", link.c_str())); // an old link gets replaced
        {
            SimProcess sim(json ? std::vector<std::string>{"--link", link, "--json"}
                                : std::vector<std::string>{"--link", link});
            const std::string port = sim.ReadPort();
            if (json) {
                EXPECT_TRUE(sim.WaitForError("vkd37-sim: link: " + link + "\n"));
            } else {
                EXPECT_EQ("link: " + link, sim.ReadLine().value_or(""));
            }
            char target[256] = {};
            ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
            EXPECT_EQ(port, target);

            const UniqueFd viaLink = OpenPort(link);
            ASSERT_TRUE(SendFrame(viaLink.get()));
            EXPECT_EQ(kEcho, ReadBytes(viaLink.get(), 19, milliseconds(3000)).bytes);
            EXPECT_EQ(0u, sim.ReadLine().value_or("").find(json ? "{\"n\":1," : "#1 FWD"));

            sim.Signal(json ? SIGHUP : SIGTERM);
            EXPECT_EQ(0, sim.WaitForExit());
        }
        struct stat status {};
        EXPECT_NE(0, ::lstat(link.c_str(), &status));
    }
}

// Descriptors 0-2 closed by whoever started it: its own pipe must not take their places, where
// its port line would read as a stop signal.
TEST(SimProcess, ClosedStandardDescriptorsLeaveItAnswering) {
    const ScratchFolder scratch("vkd37-sim");
    const std::string link = scratch / "com";
    ChildProcess sim("/bin/bash",
                     {"-c", "exec \"$0\" \"$@\" <&- >&- 2>&-", VKD37_SIM_PATH, "--link", link});
    UniqueFd port;
    for (const auto deadline = Clock::now() + std::chrono::seconds(10);
         !port.IsValid() && Clock::now() < deadline;) {
        std::this_thread::sleep_for(milliseconds(20));
        port = OpenPort(link);
    }
    ASSERT_TRUE(port.IsValid());
    ASSERT_TRUE(SendFrame(port.get()));
    EXPECT_EQ(kEcho, ReadBytes(port.get(), 19, milliseconds(3000)).bytes);
}

TEST(SimProcess, UsageErrorsExitWithTwo) {
    SimProcess sim({"--gap-at", "1043"});
    EXPECT_EQ(2, sim.WaitForExit());
    EXPECT_EQ(0u, sim.ErrorText().find("vkd37-sim: --gap-at: Value 1043 not in range 0 to 1042\n"));
}
