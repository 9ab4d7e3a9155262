#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "ChildProcess.h"
#include "Scratch.h"
#include "SettingsFiles.h"
#include "link/PortFailure.h"
#include "record/RecordReport.h"
#include "record/StationRecord.h"
#include "store/FileStore.h"
#include "platform/Handles.h"

namespace {

using std::chrono::milliseconds;
using Json = nlohmann::json;

using settings_files::kStartValues;
// The start values with the cycle count switched on, and their frame.
constexpr char kCyclesOnValues[] = "0 0 10 108 10 0 10 108 10 100 2000 2000 1 0 0 0 ";
constexpr char kCyclesOnFrame[] = "03000A6B0A000A6B0A00006400000000000000";

// The simulator, answering at once: a paced echo that a loaded machine holds up between two
// bytes for more than 100 ms fails the echo rule, rightly, and these tests are not about pace.
ChildProcess Simulator(std::vector<std::string> arguments) {
    arguments.push_back("--no-pace");
    return ChildProcess(VKD37_SIM_PATH, std::move(arguments));
}

// A pseudo-terminal the tool reads as a person's: the side the test types on, and the name of
// the tool's side (empty where none could be made).
struct Terminal {
    UniqueFd typed{::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)};
    std::string name =
        typed.get() >= 0 && ::grantpt(typed.get()) == 0 && ::unlockpt(typed.get()) == 0
            ? ::ptsname(typed.get())
            : "";
};

ChildProcess Tool(std::vector<std::string> arguments,
                  std::optional<std::string> input = std::string(),
                  ChildProcess::Pipes pipes = ChildProcess::Pipes::kUsual) {
    return ChildProcess(VKD37_TOOL_PATH, std::move(arguments), std::move(input), pipes);
}

// The tool started by a shell that first runs redirections, such as ">&-", and `before`, such as
// "ulimit -Sn 40;".
ChildProcess ToolAfter(const std::string& redirections, std::vector<std::string> arguments,
                       const std::string& before = "") {
    arguments.insert(arguments.begin(),
                     {"-c", before + "exec \"$0\" \"$@\" " + redirections, VKD37_TOOL_PATH});
    return ChildProcess("/bin/bash", std::move(arguments), std::string());
}

// The tool as an unprivileged user where the test can become one (as root), else as the caller:
// TIOCEXCL and file permissions stop everybody but root.
ChildProcess ToolAsUser(std::vector<std::string> arguments) {
    if (::getuid() != 0) {
        return Tool(std::move(arguments));
    }
    arguments.insert(arguments.begin(),
                     {"--reuid=nobody", "--regid=nogroup", "--clear-groups", VKD37_TOOL_PATH});
    return ChildProcess("/usr/bin/setpriv", std::move(arguments));
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Whether the port is exclusive (TIOCEXCL) and whether its flock is taken, as anybody sees them.
std::pair<int, bool> PortHolds(const std::string& port) {
    const UniqueFd probe(::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    int exclusive = -1;
    EXPECT_EQ(0, ::ioctl(probe.get(), TIOCGEXCL, &exclusive));
    return {exclusive, ::flock(probe.get(), LOCK_EX | LOCK_NB) != 0};
}

// A terminal's settings as the driver keeps them.
termios SettingsOf(int fd) {
    termios settings{};
    EXPECT_EQ(0, ::tcgetattr(fd, &settings));
    return settings;
}

bool SameSettings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::equal(a.c_cc, a.c_cc + NCCS, b.c_cc);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::chmod(scratch_.Path().c_str(), 0777); // open to ToolAsUser
    }
    std::string Path(const char* name) const { return scratch_ / name; }
    // A parameter file holding what the dialog saves on its first start.
    std::string StartFile(const char* name = "start.dll") const {
        WriteFile(Path(name), kStartValues);
        return Path(name);
    }

    ScratchFolder scratch_{"vkd37-tool"};
};

// Runs one upload with --save against a simulator started with simArguments; the record the
// tool printed.
Json UploadAgainst(std::vector<std::string> simArguments, const std::string& file,
                   int expectedStatus) {
    simArguments.push_back("--json");
    ChildProcess sim = Simulator(simArguments);
    ChildProcess tool = Tool(
        {"upload", "--port", sim.ReadPort(), file, "--set", "cycles.on=on", "--save", "--json"});
    EXPECT_EQ(expectedStatus, tool.WaitForExit()); // the longest failure waits out the read

    return Json::parse(tool.ReadLine().value_or("{}"), nullptr, false);
}

// Each refusal in the words of its fault.
std::string Refused(PortFault fault, const std::string& port) {
    return "vkd37: " + PortOpenFailure(fault, port).text + "\n";
}

} // namespace

TEST_F(ToolTest, ConfirmedUploadSendsTheExactFrameAndSavesTheValues) {
    ChildProcess sim = Simulator({"--json"});
    const std::string file = StartFile();
    ChildProcess tool =
        Tool({"upload", "--port", sim.ReadPort(), file, "--set", "cycles.on=on", "--save"});
    EXPECT_EQ(0, tool.WaitForExit());
    EXPECT_EQ(0u, tool.ReadLine().value_or("").find("confirmed in ")) << tool.ErrorText();

    const Json received = Json::parse(sim.ReadLine().value_or("{}"), nullptr, false);
    EXPECT_EQ(kCyclesOnFrame, received.value("bytes", ""));
    EXPECT_EQ(kCyclesOnValues, ReadWholeFile(file));
}

// The pause and the delay are far past the time-outs they cross (LineTiming's between two bytes
// and for the echo), so that neither side, slowed down on a loaded machine, can close them.
// The values are saved after a failed upload too, as the dialog saves after every attempt.
TEST_F(ToolTest, EveryFailedEchoExitsOneAndExtraBytesStillPass) {
    const struct {
        std::vector<std::string> simArguments;
        const char* outcome;
    } cases[] = {
        {{"--silent"}, "no-echo"},
        {{"--echo-bytes", "18"}, "short-echo"},
        {{"--corrupt", "18"}, "changed-echo"},
        {{"--gap-ms", "1000", "--gap-at", "10"}, "short-echo"},
        {{"--delay-ms", "5000"}, "no-echo"},
        {{"--drop-after", "10"}, "line-lost"},
    };
    for (const auto& failure : cases) {
        SCOPED_TRACE(failure.simArguments.front());
        const std::string file = StartFile();
        const Json record = UploadAgainst(failure.simArguments, file, 1);
        EXPECT_EQ(failure.outcome, record.value("outcome", ""));
        EXPECT_EQ(kCyclesOnFrame, record.value("frame", ""));
        EXPECT_EQ(kCyclesOnValues, ReadWholeFile(file));
    }
    EXPECT_EQ("confirmed", UploadAgainst({"--extra", "5"}, StartFile(), 0).value("outcome", ""));
}

TEST_F(ToolTest, PortsThatCannotBeOpenedExitThree) {
    ChildProcess sim = Simulator({});
    const std::string port = sim.ReadPort();
    {
        const UniqueFd holder(::open(port.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
        ASSERT_EQ(0, ::flock(holder.get(), LOCK_EX | LOCK_NB));
        ChildProcess tool = Tool({"upload", "--port", port, StartFile()});
        EXPECT_EQ(3, tool.WaitForExit());
        EXPECT_EQ(Refused(PortFault::kBusy, port), tool.ErrorText());
    }
    const struct {
        const char* port;
        PortFault fault;
    } cases[] = {
        {"/dev/null", PortFault::kNotSerial},
        {"/dev/ttyVKD37-missing", PortFault::kMissing},
    };
    for (const auto& unusable : cases) {
        ChildProcess tool = Tool({"upload", "--port", unusable.port, StartFile()});
        EXPECT_EQ(3, tool.WaitForExit());
        EXPECT_EQ(Refused(unusable.fault, unusable.port), tool.ErrorText());
    }
    // The program's own terminal, by either name: the frame would go to the screen and the
    // terminal be left raw. Here the simulator's line is the terminal the tool runs in.
    for (const std::string& own : {std::string("/dev/tty"), port}) {
        ChildProcess tool("/bin/bash", {"-c", "exec setsid --ctty --wait \"$@\" <\"$0\"", port,
                                        VKD37_TOOL_PATH, "upload", "--port", own, StartFile()});
        EXPECT_EQ(3, tool.WaitForExit());
        EXPECT_EQ(Refused(PortFault::kOwnTerminal, own), tool.ErrorText());
    }
    // Nothing of the attempts reached the controller.
    EXPECT_EQ(std::nullopt, sim.ReadLine(milliseconds(200)));
}

TEST_F(ToolTest, OutOfRangeValuesAreRefusedWithTheirBoundsAndChangeNothing) {
    ChildProcess sim = Simulator({});
    const std::string port = sim.ReadPort();
    const std::string file = Path("InitialParameter.dll");
    const std::string stored = "0 0 300 108 10 0 10 108 10 100 2000 2000 0 0 0 0 ";
    WriteFile(file, stored);
    const struct {
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {{"upload", "--port", port, file}, "vkd37: fwd.acc=300 is out of range (0-127)\n"},
        {{"upload", "--port", port, file, "--set", "fwd.acc=5", "rev.speed=129"},
         "vkd37: rev.speed=129 is out of range (1-128)\n"},
        {{"set", file, "fwd.acc=5", "home_delay_ms=16777211"},
         "vkd37: home_delay_ms=16777211 is out of range (0-16777210)\n"},
        {{"set", file, "fwd.source=fast"},
         "vkd37: fwd.source: 'fast' is not a value (0-2: internal, internal-pot, "
         "external-pot)\n"},
        {{"set", file, "speed=5"}, "vkd37: unknown name 'speed'"},
    };
    for (const auto& refused : cases) {
        ChildProcess tool = Tool(refused.arguments);
        EXPECT_EQ(2, tool.WaitForExit());
        EXPECT_EQ(0u, tool.ErrorText().find(refused.message)) << tool.ErrorText();
    }
    EXPECT_EQ(stored, ReadWholeFile(file));
    EXPECT_EQ(std::nullopt, sim.ReadLine(milliseconds(200)));

    ChildProcess show = Tool({"show", file});
    EXPECT_EQ(0, show.WaitForExit());
    std::vector<std::string> marked;
    for (const std::string& line : Lines(show.OutputText())) {
        std::string name;
        if (line.find("!!") != std::string::npos && std::istringstream(line) >> name) {
            marked.push_back(name);
        }
    }
    EXPECT_EQ(std::vector<std::string>{"fwd.acc"}, marked);

    ChildProcess tool = Tool({"set", file, "fwd.acc=5", "rev.source=external-pot", "auto_home=on"});
    EXPECT_EQ(0, tool.WaitForExit());
    EXPECT_EQ("0 0 5 108 10 2 10 108 10 100 2000 2000 0 0 0 1 ", ReadWholeFile(file));
}

// A controller that sends bytes a while after its echo, and answers typed at once: each upload
// waits for the line to fall quiet and discards them, rather than read them as its echo.
TEST_F(ToolTest, RepeatUploadsOncePerAnswerLogsEachAndSummarises) {
    ChildProcess sim = Simulator({"--json", "--extra", "20", "--gap-ms", "200", "--gap-at", "19"});
    const std::string port = sim.ReadPort();
    const std::string log = Path("commissioning.jsonl");
    ChildProcess tool =
        Tool({"upload", "--port", port, StartFile(), "--repeat", "--log", log}, "\n\nq\n");
    EXPECT_EQ(0, tool.WaitForExit());
    const std::vector<std::string> printed = Lines(tool.OutputText());
    ASSERT_EQ(5u, printed.size()); // three outcomes, the record's head and the summary
    EXPECT_EQ("3 uploads: 3 confirmed, 0 failed", printed.back());
    // The head said after the last upload, and again at the end, is the record's last line's.
    const std::string head = printed[2].substr(printed[2].find("; record head ") + 14);
    EXPECT_EQ(0u, printed[3].find("The record " + log + " ends at head " + head + ": keep it"));
    ChildProcess verified = Tool({"report", "--verify", "--head", head, log});
    EXPECT_EQ(0, verified.WaitForExit()) << tool.OutputText() << verified.OutputText();

    const std::vector<std::string> logged = Lines(ReadWholeFile(log));
    ASSERT_EQ(3u, logged.size());
    for (const std::string& line : logged) {
        const Json record = Json::parse(line, nullptr, false);
        EXPECT_EQ("confirmed", record.value("outcome", ""));
        EXPECT_FALSE(record.contains("unit")); // nothing typed: no label, as before labels
        EXPECT_TRUE(sim.ReadLine().has_value()) << "the simulator saw fewer frames";
        EXPECT_EQ(19u, record.value("frame", "").size() / 2);
    }

    // Enter as Windows programs send it (CRLF) and as a terminal left raw does (a lone CR), then
    // q among blanks. The input stays open: only the q ends the batch.
    ChildProcess another = Simulator({});
    ChildProcess typed = Tool({"upload", "--port", another.ReadPort(), StartFile(), "--repeat"},
                              "\r\n\r \t q \r", ChildProcess::Pipes::kInputLeftOpen);
    EXPECT_EQ(0, typed.WaitForExit());
    const std::vector<std::string> summary = Lines(typed.OutputText());
    ASSERT_FALSE(summary.empty());
    EXPECT_EQ("3 uploads: 3 confirmed, 0 failed", summary.back()) << typed.OutputText();
}

// One line per attempt, field for field as the page writes it (docs/record.md).
TEST_F(ToolTest, TheRecordNamesTheUnitAndKeepsTheValuesSent) {
    ChildProcess sim(VKD37_SIM_PATH, {"--json"});
    const std::string log = Path("record.jsonl");
    ChildProcess tool =
        Tool({"upload", "--port", sim.ReadPort(), StartFile(), "--unit", " A-0017\t", "--log", log,
              "--json", "--set", "cycles.on=on", "fwd.speed=60"});
    EXPECT_EQ(0, tool.WaitForExit(milliseconds(5000))) << tool.ErrorText() << tool.OutputText();
    const std::string logged = ReadWholeFile(log);
    EXPECT_EQ(tool.OutputText(), logged);
    const auto record = nlohmann::ordered_json::parse(logged, nullptr, false);
    std::vector<std::string> keys;
    for (const auto& member : record.items()) {
        keys.push_back(member.key());
    }
    EXPECT_EQ((std::vector<std::string>{"time", "unit", "port", "frame", "outcome", "ms", "values",
                                        "program", "station", "prev"}),
              keys);
    EXPECT_EQ("A-0017", record.value("unit", ""));
    EXPECT_EQ(std::string("vkd37 ") + VKD_VERSION, record.value("program", ""));
    const auto& values = record["values"];
    EXPECT_EQ(15u, values.size()); // every value of the frame; the port index is none
    EXPECT_EQ(60, values.value("fwd.speed", 0));
    EXPECT_EQ(1, values.value("cycles.on", 0));
    EXPECT_EQ(2000, values.value("end_delay_ms", 0));
    EXPECT_FALSE(values.contains("port"));
}

// A last line longer than any reader holds (another program's junk, never ended) cannot be
// linked to: a link to it no reader could check. The next line holds none, and --verify names the
// junk line for what it is, first in the file or after linked lines.
TEST_F(ToolTest, ARecordsLastLineNoReaderHoldsIsNotLinkedTo) {
    ChildProcess sim = Simulator({});
    const std::string port = sim.ReadPort();
    const std::string log = Path("record.jsonl");
    for (const int linkedBefore : {0, 1}) {
        WriteFile(log, "");
        for (int i = 0; i < linkedBefore; ++i) {
            EXPECT_EQ(0, Tool({"upload", "--port", port, StartFile(), "--log", log}).WaitForExit());
        }
        std::ofstream(log, std::ios::app) << std::string(RecordLines::kLongestLine + 1, 'x');
        ChildProcess tool = Tool({"upload", "--port", port, StartFile(), "--log", log});
        EXPECT_EQ(0, tool.WaitForExit()) << tool.ErrorText();
        const std::string text = ReadWholeFile(log);
        const Json line = Json::parse(text.substr(text.rfind('\n', text.size() - 2) + 1));
        EXPECT_EQ("confirmed", line.value("outcome", ""));
        EXPECT_FALSE(line.contains("prev"));
        ChildProcess verified = Tool({"report", "--verify", log});
        EXPECT_EQ(1, verified.WaitForExit());
        EXPECT_NE(std::string::npos,
                  verified.OutputText().find("breaks at line " + std::to_string(linkedBefore + 1) +
                                             ": it is longer than any record line, so the next "
                                             "line could not link to it"))
            << verified.OutputText();
    }
}

// The label is checked before the record is opened or anything sent.
TEST_F(ToolTest, AUnitLabelTheBatchPatternRefusesSendsNothing) {
    ChildProcess sim(VKD37_SIM_PATH, {});
    const std::string port = sim.ReadPort();
    const std::string log = Path("record.jsonl");
    const std::string pattern = "A-[0-9]{4}";
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } refusals[] = {
        {{"--unit", "B-0001", "--unit-pattern", pattern},
         "the unit label 'B-0001' does not match --unit-pattern '" + pattern + "'"},
        {{"--unit", "xA-0001", "--unit-pattern", pattern}, // the whole label must match
         "the unit label 'xA-0001' does not match --unit-pattern '" + pattern + "'"},
        {{"--unit-pattern", pattern},
         "a unit label matching --unit-pattern '" + pattern + "' is needed"},
        {{"--unit", "A-0001", "--unit-pattern", "A-[0-9"},
         "--unit-pattern 'A-[0-9' is not a pattern: "},
        {{"--unit", std::string(100000, 'A'), "--unit-pattern", "A{0,600}"},
         "the unit label (100000 characters) is too long to check against --unit-pattern "
         "'A{0,600}'"},
    };
    for (const auto& refusal : refusals) {
        std::vector<std::string> arguments = {"upload", "--port", port, StartFile(), "--log", log};
        arguments.insert(arguments.end(), refusal.arguments.begin(), refusal.arguments.end());
        ChildProcess tool = Tool(arguments);
        EXPECT_EQ(2, tool.WaitForExit());
        EXPECT_EQ(0u, tool.ErrorText().find("vkd37: " + refusal.message)) << tool.ErrorText();
    }
    EXPECT_EQ(std::nullopt, sim.ReadLine(milliseconds(200)));
    EXPECT_FALSE(std::ifstream(log).is_open());

    ChildProcess tool = Tool({"upload", "--port", port, StartFile(), "--log", log, "--unit",
                              "A-0001", "--unit-pattern", pattern});
    EXPECT_EQ(0, tool.WaitForExit(milliseconds(5000))) << tool.ErrorText();
    EXPECT_EQ("A-0001", Json::parse(ReadWholeFile(log), nullptr, false).value("unit", ""));
}

// Whether JavaScript's RegExp with the u flag, in node, takes the whole label: the language the
// tool's patterns are written in.
bool JavaScriptTakes(const std::string& pattern, const std::string& label) {
    ChildProcess node(VKD_NODE, {"-e",
                                 "console.log(new RegExp(`^(?:${process.argv[1]})$`, 'u')"
                                 ".test(process.argv[2]))",
                                 pattern, label});
    const std::string answer = node.ReadLine().value_or("");
    EXPECT_TRUE(answer == "true" || answer == "false") << answer << node.ErrorText();
    return answer == "true";
}

// The bytes a process has read so far, from any file.
std::uint64_t BytesRead(pid_t process) {
    std::ifstream io("/proc/" + std::to_string(process) + "/io");
    std::string name;
    std::uint64_t count = 0;
    while (io >> name >> count && name != "rchar:") {
    }
    return count;
}

// Labels are matched in characters, as JavaScript matches them, and in time: a long label cannot
// overflow the stack, and a pattern that would backtrack for ever holds neither the port nor the
// batch from a stop signal.
TEST_F(ToolTest, UnitPatternsMatchCharactersAsJavaScriptDoesAndInTime) {
    ChildProcess sim = Simulator({});
    const std::string port = sim.ReadPort();
    const struct {
        const char* label;
        const char* pattern;
    } cases[] = {
        {"线-甲乙", "线-.{2}"},      {"号1", ".{4}"},
        {"乙-1", "[甲乙]-1"},        {"A-0017", "(?<=^)A-(?<number>[0-9]{4})"},
        {"线甲-12", "\\p{L}+-\\d+"}, {"B-17", "(?<!A)B-\\d+"},
    };
    for (const auto& c : cases) {
        const bool takes = JavaScriptTakes(c.pattern, c.label);
        ChildProcess tool = Tool({"upload", "--port", port, StartFile(), "--unit", c.label,
                                  "--unit-pattern", c.pattern});
        EXPECT_EQ(takes ? 0 : 2, tool.WaitForExit()) << c.pattern << " " << tool.ErrorText();
    }
    // A 100,000-character label on a small stack, under the sanitizer too.
    ChildProcess longLabel("/bin/bash",
                           {"-c", "ulimit -s 512; exec \"$0\" \"$@\"", VKD37_TOOL_PATH, "upload",
                            "--port", port, StartFile(), "--repeat", "--unit", "a",
                            "--unit-pattern", "(a|b)*"},
                           std::string(100000, 'a') + "\n");
    EXPECT_EQ(0, longLabel.WaitForExit(milliseconds(20000))) << longLabel.ErrorText();
    EXPECT_EQ("2 uploads: 2 confirmed, 0 failed", Lines(longLabel.OutputText()).back());

    // The signal comes once the label is read, so during the match: (a*)*c has a backtracking
    // matcher spin for ever, and the other branch keeps even this one busy for a while.
    ChildProcess batch = Tool({"upload", "--port", port, StartFile(), "--repeat", "--unit", "c",
                               "--unit-pattern", "(a*)*c|(?:a{1,30}){1,100}c"},
                              "", ChildProcess::Pipes::kInputLeftOpen);
    ASSERT_TRUE(batch.WaitForError("press Enter")) << batch.ErrorText();
    const std::string label = std::string(30000, 'a') + "\n";
    const std::uint64_t before = BytesRead(batch.Id());
    batch.Type(label);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (BytesRead(batch.Id()) < before + label.size() &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(milliseconds(10));
    }
    batch.Signal(SIGINT);
    EXPECT_EQ(130, batch.WaitForExit(milliseconds(1000)));
    EXPECT_EQ("1 upload: 1 confirmed, 0 failed", Lines(batch.OutputText()).back());
    EXPECT_EQ(std::make_pair(0, false), PortHolds(port));
}

// A terminal in a Chinese locale types GBK: its labels are recorded as the characters typed, told
// apart, and one typed twice is asked about.
TEST_F(ToolTest, LabelsTypedInAGbkTerminalAreRecordedAsTheirCharacters) {
    const Terminal terminal;
    ASSERT_FALSE(terminal.name.empty());
    const std::string& typing = terminal.name;
    ChildProcess sim = Simulator({});
    const std::string log = Path("gbk.jsonl");
    const char kJia[] = "\xBC\xD7-1"; // 甲-1 in GBK
    const char kYi[] = "\xD2\xD2-1";  // 乙-1
    ChildProcess batch("/bin/bash",
                       {"-c", "LOCPATH=" VKD_LOCALES " LC_ALL=zh_CN.GBK exec \"$@\" <\"$0\"",
                        typing, VKD37_TOOL_PATH, "upload", "--port", sim.ReadPort(), StartFile(),
                        "--repeat", "--unit", kJia, "--log", log});
    const std::string typed = std::string(kYi) + "\n" + kYi + "\n\xFF\xFF\nq\n";
    ASSERT_EQ(static_cast<ssize_t>(typed.size()),
              ::write(terminal.typed.get(), typed.data(), typed.size()));
    EXPECT_EQ(0, batch.WaitForExit(milliseconds(20000))) << batch.ErrorText();
    std::vector<std::string> units;
    for (const std::string& line : Lines(ReadWholeFile(log))) {
        units.push_back(Json::parse(line, nullptr, false).value("unit", ""));
    }
    EXPECT_EQ((std::vector<std::string>{"甲-1", "乙-1"}), units);
    const std::string said = batch.ErrorText();
    EXPECT_NE(std::string::npos, said.find("乙-1 was sent in this batch already")) << said;
    EXPECT_NE(std::string::npos, said.find("vkd37: that is not GBK text")) << said;
}

// At a terminal, an Enter right after a label's end is the label's (a scanner that ends it with
// Enter twice, a terminal turning CR LF into two line ends): no unit without a label is sent, and
// the question about a label sent before is not answered by it. An Enter after the next prompt is
// an answer: each step is typed once the prompts before it are shown.
TEST_F(ToolTest, AScannersSecondEnterAtATerminalAnswersNothing) {
    struct Case {
        std::vector<std::pair<long, const char*>> steps; // prompts shown first, keys typed
        std::vector<std::string> units;
    };
    const Case cases[] = {
        {{{1, "A-2\r\r"}, {2, "q\r"}}, {"A-1", "A-2"}},
        // The second prompt asks about A-1, sent already.
        {{{1, "A-1\r\n"}, {2, "A-3\r"}, {3, "\r"}, {4, "q\r"}}, {"A-1", "A-3", ""}},
    };
    for (const Case& test : cases) {
        const Terminal terminal;
        ASSERT_FALSE(terminal.name.empty());
        const std::string& typing = terminal.name;
        ChildProcess sim = Simulator({});
        const std::string log = Path("scanned.jsonl");
        std::filesystem::remove(log);
        ChildProcess batch("/bin/bash", {"-c", "exec \"$@\" <\"$0\" 2>\"$0\"", typing,
                                         VKD37_TOOL_PATH, "upload", "--port", sim.ReadPort(),
                                         StartFile(), "--repeat", "--unit", "A-1", "--log", log});
        // The terminal's reads end with an error once the tool has gone.
        std::string shown;
        const std::regex prompt("\\(q to stop\\): ");
        for (const auto& [promptsBefore, keys] : test.steps) {
            char chunk[512];
            ssize_t got = 0;
            while (std::distance(std::sregex_iterator(shown.begin(), shown.end(), prompt),
                                 std::sregex_iterator()) < promptsBefore &&
                   (got = ::read(terminal.typed.get(), chunk, sizeof chunk)) > 0) {
                shown.append(chunk, static_cast<std::size_t>(got));
            }
            ASSERT_EQ(static_cast<ssize_t>(std::strlen(keys)),
                      ::write(terminal.typed.get(), keys, std::strlen(keys)));
        }
        EXPECT_EQ(0, batch.WaitForExit(milliseconds(20000))) << shown;
        std::vector<std::string> units;
        for (const std::string& line : Lines(ReadWholeFile(log))) {
            units.push_back(Json::parse(line, nullptr, false).value("unit", ""));
        }
        EXPECT_EQ(test.units, units) << shown;
    }
}

// Two batches on two ports keep one record: every line whole, none lost.
TEST_F(ToolTest, TwoBatchesAppendToOneRecordWithoutTearingLines) {
    constexpr int kUploads = 20;
    const std::string log = Path("record.jsonl");
    std::vector<std::unique_ptr<ChildProcess>> sims;
    std::vector<std::unique_ptr<ChildProcess>> batches;
    for (const char* unit : {"A", "B"}) {
        sims.push_back(
            std::make_unique<ChildProcess>(VKD37_SIM_PATH, std::vector<std::string>{"--no-pace"}));
        std::string answers;
        for (int i = 1; i < kUploads; ++i) {
            answers += std::string(unit) + std::to_string(i) + "\n";
        }
        batches.push_back(std::make_unique<ChildProcess>(
            VKD37_TOOL_PATH,
            std::vector<std::string>{"upload", "--port", sims.back()->ReadPort(), StartFile(),
                                     "--repeat", "--unit", std::string(unit) + "0", "--log", log},
            answers + "q\n"));
    }
    for (const auto& batch : batches) {
        EXPECT_EQ(0, batch->WaitForExit(milliseconds(60000))) << batch->ErrorText();
    }
    const std::vector<std::string> lines = Lines(ReadWholeFile(log));
    EXPECT_EQ(2u * kUploads, lines.size());
    std::set<std::string> units;
    for (const std::string& line : lines) {
        const Json record = Json::parse(line, nullptr, false);
        EXPECT_EQ("confirmed", record.value("outcome", "")) << line;
        units.insert(record.value("unit", ""));
    }
    EXPECT_EQ(2u * kUploads, units.size());
}

TEST_F(ToolTest, ReportSummarisesTheRecordAsTextCsvAndAPageToPrint) {
    const std::string log = Path("record.jsonl");
    const std::string file = StartFile();
    {
        ChildProcess good(VKD37_SIM_PATH, {});
        ChildProcess silent(VKD37_SIM_PATH, {"--silent"});
        const std::string goodPort = good.ReadPort();
        const std::string silentPort = silent.ReadPort();
        for (const auto& [port, unit, status] :
             {std::make_tuple(goodPort, "A-1", 0), std::make_tuple(silentPort, "A-2", 1),
              std::make_tuple(goodPort, "A-2", 0)}) {
            ChildProcess tool =
                Tool({"upload", "--port", port, file, "--unit", unit, "--log", log});
            EXPECT_EQ(status, tool.WaitForExit(milliseconds(5000))) << tool.ErrorText();
        }
    }
    // A line the tool wrote before units were recorded, and one that is not an entry.
    std::ofstream(log, std::ios::app)
        << R"({"time":"2020-01-01T00:00:00.000Z","port":"COM1","frame":"03","outcome":"no-echo",)"
        << R"("ms":1103})"
        << "\nnot an entry\n";

    ChildProcess summary = Tool({"report", log});
    EXPECT_EQ(0, summary.WaitForExit());
    EXPECT_EQ("vkd37: " + log + ": line 5 is not a record entry, left out\n", summary.ErrorText());
    // "Label:   value" lines, then a table of the units.
    std::map<std::string, std::string> said;
    std::vector<std::string> units;
    for (const std::string& line : Lines(summary.OutputText())) {
        const std::size_t colon = line.find(": ");
        std::istringstream words(line);
        std::string unit, attempts, outcome;
        if (colon != std::string::npos) {
            said[line.substr(0, colon)] = line.substr(line.find_first_not_of(' ', colon + 1));
        } else if (words >> unit >> attempts >> outcome && unit.compare(0, 2, "A-") == 0) {
            units.push_back(unit + " " + attempts + " " + outcome);
        }
    }
    EXPECT_EQ("2", said["Units"]);
    EXPECT_EQ("2", said["Units confirmed (last attempt)"]);
    EXPECT_EQ("4", said["Attempts"]);
    EXPECT_EQ("2", said["Attempts failed"]);
    EXPECT_EQ("1", said["Attempts that name no unit"]);
    EXPECT_EQ("2020-01-01 00:00:00 UTC", said["First entry"]);
    EXPECT_EQ(std::string("vkd37 ") + VKD_VERSION, said["Record written by"]);
    EXPECT_EQ((std::vector<std::string>{"A-1 1 confirmed", "A-2 2 confirmed"}), units);

    ChildProcess csv = Tool({"report", "--csv", log});
    EXPECT_EQ(0, csv.WaitForExit());
    const std::vector<std::string> rows = Lines(csv.OutputText());
    ASSERT_EQ(5u, rows.size());
    EXPECT_EQ("\xEF\xBB\xBFtime,unit,port,outcome,ms,frame,fwd.source,fwd.acc,fwd.speed,fwd.dec,"
              "rev.source,rev.acc,rev.speed,rev.dec,cycles,home_delay_ms,end_delay_ms,cycles.on,"
              "home_delay.on,end_delay.on,auto_home\r",
              rows[0]);
    // By time: the line appended last holds the first attempt.
    EXPECT_EQ("2020-01-01T00:00:00.000Z,,COM1,no-echo,1103,03,,,,,,,,,,,,,,,\r", rows[1]);
    EXPECT_EQ(0u,
              rows[3].find(Json::parse(Lines(ReadWholeFile(log))[1]).value("time", "") + ",A-2,"))
        << rows[3];
    EXPECT_NE(std::string::npos, rows[3].find(",no-echo,"));

    // A copy of the record given beside it counts once, in every form. (The workbook names each
    // file with a gap, the copy too: its attempts are the same.)
    const std::string copy = Path("copy.jsonl");
    std::ofstream(copy, std::ios::binary) << ReadWholeFile(log);
    for (const char* form : {"--csv"}) {
        ChildProcess twice = Tool({"report", form, log, copy});
        ChildProcess once = Tool({"report", form, log});
        EXPECT_EQ(0, twice.WaitForExit());
        EXPECT_TRUE(once.OutputText() == twice.OutputText()) << form;
    }
    ChildProcess twice = Tool({"report", log, copy});
    EXPECT_EQ(0, twice.WaitForExit());
    // Lines left out stay each file's own.
    const std::regex leftOut("Lines left out[^\n]*\n");
    EXPECT_EQ(0u, std::regex_replace(twice.OutputText(), leftOut, "")
                      .find(std::regex_replace(summary.OutputText(), leftOut, "")))
        << twice.OutputText();
    EXPECT_NE(std::string::npos,
              twice.OutputText().find("copy.jsonl: the chain breaks at line 4: it has no link"))
        << twice.OutputText();
    EXPECT_NE(std::string::npos,
              twice.OutputText().find("; 4 lines read already from another file\n"));

    ChildProcess html = Tool({"report", "--html", log, log}); // the same file twice, once
    EXPECT_EQ(0, html.WaitForExit());
    const std::string page = html.OutputText();
    EXPECT_EQ(0u, page.find("<!DOCTYPE html>"));
    EXPECT_NE(std::string::npos,
              page.find(std::string("<dt>Report made by</dt><dd>vkd37 ") + VKD_VERSION));
    EXPECT_NE(std::string::npos, page.find("<dt>Attempts</dt><dd>4</dd>"));
    EXPECT_NE(std::string::npos,
              page.find("<dt>Lines left out (not record entries)</dt><dd>2</dd>"));

    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } refusals[] = {
        {{"report", "--csv", "--html", log}, "vkd37: --csv excludes --html"},
        {{"report", "--xlsx", "--csv", log}, "vkd37: --xlsx excludes --csv"},
        {{"report", Path("none.jsonl")},
         "vkd37: cannot read " + Path("none.jsonl") + ": No such file or directory\n"},
        {{"report", scratch_.Path().string()},
         "vkd37: cannot read " + scratch_.Path().string() +
             ": it is a directory, not a regular file\n"},
    };
    for (const auto& refusal : refusals) {
        ChildProcess tool = Tool(refusal.arguments);
        EXPECT_EQ(2, tool.WaitForExit());
        EXPECT_EQ(0u, tool.ErrorText().find(refusal.message)) << tool.ErrorText();
    }
}

// A record of several of the chunks the tool reads at a time, lines broken across them, out of
// time order, some of them not entries: each form the tool writes a piece at a time is the one the
// report code makes of the record held whole, as the page holds it.
TEST_F(ToolTest, AReportReadInChunksIsTheReportOfTheRecordHeldWhole) {
    ParameterSet set;
    set.ApplyMissingFileValues();
    const EchoOutcome outcomes[] = {EchoOutcome::kConfirmed, EchoOutcome::kNoEcho,
                                    EchoOutcome::kShortEcho, EchoOutcome::kConfirmed};
    std::string text;
    for (int i = 0; i < 4000; ++i) {
        const int second = i * 7919 % 4000;
        char time[32];
        std::snprintf(time, sizeof time, "2025-03-04T%02d:%02d:%02d.000Z", second / 3600,
                      second / 60 % 60, second % 60);
        const std::string unit =
            "U-" + std::to_string(i % 1500) + (i % 1000 == 1 ? std::string(70000, 'x') : "");
        text += RecordLine(AttemptEntry(time, unit, "COM3", set, outcomes[i % 4], i, "vkd37")) +
                (i % 997 == 0 ? "\nnot an entry\n" : "\n");
    }
    const std::string log = Path("large.jsonl");
    WriteFile(log, text);
    CommissioningRecord record;
    const std::vector<std::size_t> leftOut = ReadRecordText(text, record);
    record.chains = RecordChains::kNone; // its lines name no program that links, and it says so
    // The workbook names the file's gap (its lines left out), which only a record read from
    // files knows: the page's gathering of the same text.
    GatheredRecord gathered;
    gathered.StartFile(log);
    gathered.Add(text);
    gathered.End();
    std::string workbook;
    ReportXlsx(gathered, Language::kEnglish,
               [&workbook](std::string_view piece) { workbook.append(piece); });
    const std::pair<std::vector<std::string>, std::string> forms[] = {
        {{"report", log}, ReportSummary(record, Language::kEnglish)},
        {{"report", "--csv", log}, ReportCsv(record)},
        {{"report", "--xlsx", log}, workbook},
    };
    // A second of work in the sanitized build, which a loaded machine stretches far past the
    // usual bound: the wait is a bound on the report's end, not a measure of its speed.
    constexpr std::chrono::minutes kReportLimit{3};
    for (const auto& [arguments, expected] : forms) {
        ChildProcess report = Tool(arguments);
        EXPECT_TRUE(report.OutputText(kReportLimit) == expected) << arguments[1];
        EXPECT_EQ(0, report.WaitForExit(kReportLimit));
        EXPECT_EQ(0u, report.ErrorText().find("vkd37: " + log + ": lines " +
                                              std::to_string(leftOut[0]) + ", " +
                                              std::to_string(leftOut[1])))
            << report.ErrorText();
    }
}

// A record split over files (one per program, say) reports by the attempts' times: a unit
// confirmed at 10:00 is confirmed whichever file comes first, and every form is the same for both
// orders; attempts of the same time keep the order of the lines.
TEST_F(ToolTest, ReportJudgesByTimeWhateverTheOrderOfFilesAndLines) {
    const auto line = [](const char* time, const char* outcome) {
        return std::string(R"({"time":"2025-03-04T)") + time + R"(.000Z","unit":"U-1","port":)" +
               R"("COM3","frame":"03","outcome":")" + outcome + "\"}";
    };
    const std::string tablet = Path("tablet.jsonl");
    const std::string line3 = Path("line3.jsonl");
    // The last lines have no end: neither is lost, nor runs into the next file's first.
    WriteFile(tablet, line("10:00:00", "confirmed") + "\n" + line("11:00:00", "no-echo") + "\n" +
                          line("11:00:00", "confirmed") + "\r");
    WriteFile(line3, line("09:00:00", "no-echo") + "\n" + line("10:30:00", "short-echo"));
    for (const char* form : {"--html", "--csv", "--xlsx", "--summary"}) {
        std::vector<std::string> reports;
        for (const auto& files : {std::vector{tablet, line3}, std::vector{line3, tablet}}) {
            std::vector<std::string> arguments = {"report", files[0], files[1]};
            if (std::string(form) != "--summary") {
                arguments.push_back(form);
            }
            ChildProcess report = Tool(arguments);
            EXPECT_EQ(0, report.WaitForExit()) << report.ErrorText();
            // The time the report was made is the one thing that may differ.
            reports.push_back(
                std::regex_replace(report.OutputText(), std::regex("made on</dt><dd>[^<]*"), ""));
        }
        EXPECT_EQ(reports[0], reports[1]) << form;
        if (std::string(form) == "--summary") {
            EXPECT_NE(std::string::npos, reports[0].find("\nU-1   5         confirmed"))
                << reports[0];
        }
    }
}

// More record files than the soft limit of open files the tool was started with (a year of daily
// records from three stations passes a shell's 1024): all are reported.
TEST_F(ToolTest, ReportTakesMoreFilesThanTheSoftOpenFileLimit) {
    std::vector<std::string> arguments = {"report"};
    for (int i = 0; i < 60; ++i) {
        arguments.push_back(Path(("day" + std::to_string(i) + ".jsonl").c_str()));
        WriteFile(arguments.back(), R"({"time":"2025-03-04T10:00:00.000Z","unit":"U-)" +
                                        std::to_string(i) + R"(","outcome":"confirmed"})");
    }
    ChildProcess report = ToolAfter("", arguments, "ulimit -Sn 40 && ");
    EXPECT_EQ(0, report.WaitForExit()) << report.ErrorText();
    EXPECT_NE(std::string::npos, report.OutputText().find("\nU-59 ")) << report.OutputText();
}

// Labels typed or scanned at the prompt: each checked before it is sent; one sent before is
// asked about once more, and a scanner typing it again does not answer that question.
TEST_F(ToolTest, RepeatTakesEachUnitsLabelAndAsksOnceMoreForOneSentTwice) {
    ChildProcess sim(VKD37_SIM_PATH, {"--json"});
    const std::string log = Path("record.jsonl");
    ChildProcess tool = Tool({"upload", "--port", sim.ReadPort(), StartFile(), "--repeat", "--log",
                              log, "--unit", "A-1", "--unit-pattern", "A-[0-9]+"},
                             "A-2\r"    // a scanner that ends its label with CR
                             "\r\n"     // refused: the pattern wants a label
                             " A-3\t\n" // blanks around a label are not part of it
                             "B-9\n"    // refused
                             "A-2\n"    // sent before: asked once more,
                             "A-2\n"    // scanned again: asked again,
                             "\n"       // Enter: sent again
                             "A-1\n"    // sent before: asked once more,
                             "A-4\n"    // another label instead
                             "q\n");
    EXPECT_EQ(0, tool.WaitForExit(milliseconds(30000))) << tool.ErrorText();
    EXPECT_EQ("5 uploads: 5 confirmed, 0 failed", Lines(tool.OutputText()).back());
    std::vector<std::string> units;
    for (const std::string& line : Lines(ReadWholeFile(log))) {
        units.push_back(Json::parse(line, nullptr, false).value("unit", ""));
        EXPECT_TRUE(sim.ReadLine().has_value()) << "the simulator saw fewer frames";
    }
    EXPECT_EQ((std::vector<std::string>{"A-1", "A-2", "A-3", "A-2", "A-4"}), units);
    const std::string said = tool.ErrorText();
    for (const std::string& text :
         {"vkd37: a unit label matching --unit-pattern 'A-[0-9]+' is needed\n",
          "vkd37: the unit label 'B-9' does not match --unit-pattern 'A-[0-9]+'\n",
          "A-2 was sent in this batch already: press Enter",
          "A-1 was sent in this batch already: press Enter"}) {
        EXPECT_NE(std::string::npos, said.find(text)) << text << "\n" << said;
    }
}

TEST_F(ToolTest, DecodeReadsWhatFrameWrites) {
    ChildProcess frame = Tool({"frame", StartFile(), "--set", "fwd.source=2", "fwd.acc=5",
                               "fwd.speed=60", "rev.dec=127", "rev.speed=1"});
    EXPECT_EQ(0, frame.WaitForExit());
    const std::string hex = frame.ReadLine().value_or("");
    EXPECT_EQ("03 02 05 3B 0A 00 7F 00 0A 00 00 00 00 00 00 00 00 00 00", hex);

    ChildProcess decode = Tool({"decode", hex, "--json"});
    EXPECT_EQ(0, decode.WaitForExit());
    const Json decoded = Json::parse(decode.ReadLine().value_or("{}"), nullptr, false);
    EXPECT_EQ(Json::parse(R"({"source":2,"acc":5,"speed":60,"dec":10})"), decoded["fwd"]);
    EXPECT_EQ(Json::parse(R"({"source":0,"acc":10,"speed":1,"dec":127})"), decoded["rev"]);
}

TEST_F(ToolTest, ThePortIsNotLeftExclusiveAndALostLineIsOpenedAgain) {
    const std::string file = StartFile();
    ::chmod(file.c_str(), 0644);
    {
        ChildProcess sim = Simulator({});
        const std::string pty = sim.ReadPort();
        ::chmod(pty.c_str(), 0666);
        // The simulator keeps its end open, as a serial monitor would: the flag must not
        // outlive us, or the next upload by anybody but root is refused.
        for (int round = 0; round < 2; ++round) {
            ChildProcess tool = ToolAsUser({"upload", "--port", pty, file});
            EXPECT_EQ(0, tool.WaitForExit()) << tool.ErrorText();
            EXPECT_EQ(std::make_pair(0, false), PortHolds(pty));
        }
    }
    // Dropped once, the line comes back at the link; the next upload of the batch finds it.
    ChildProcess sim = Simulator({"--link", Path("com"), "--drop-after", "10"});
    sim.ReadPort();
    sim.ReadLine(); // the link is there
    ChildProcess batch = Tool({"upload", "--port", Path("com"), file, "--repeat"}, "\nq\n");
    EXPECT_EQ(1, batch.WaitForExit(milliseconds(15000)));
    const std::vector<std::string> printed = Lines(batch.OutputText());
    ASSERT_EQ(3u, printed.size()) << batch.ErrorText();
    EXPECT_EQ(0u, printed[0].find("failed: the line went away in ")) << printed[0];
    EXPECT_EQ(0u, printed[1].find("confirmed in ")) << batch.ErrorText();
    EXPECT_EQ("2 uploads: 1 confirmed, 1 failed", printed[2]);
    EXPECT_NE(std::string::npos, batch.ErrorText().find("reopened " + Path("com")));
}

// An adapter swapped between two controllers hangs the held line up without a word: the next
// upload opens the port anew instead of failing on the dead line.
TEST_F(ToolTest, RepeatOpensASwappedAdapterBeforeTheNextUpload) {
    const std::vector<std::string> adapter = {"--link", Path("com"), "--no-pace"};
    std::optional<ChildProcess> sim(std::in_place, VKD37_SIM_PATH, adapter);
    sim->ReadPort();
    sim->ReadLine(); // the link is there
    ChildProcess batch = Tool({"upload", "--port", Path("com"), StartFile(), "--repeat"}, "",
                              ChildProcess::Pipes::kInputLeftOpen);
    ASSERT_TRUE(batch.WaitForError("press Enter")) << batch.ErrorText();
    sim->Signal(SIGTERM);
    EXPECT_EQ(0, sim->WaitForExit());
    sim.emplace(VKD37_SIM_PATH, adapter);
    sim->ReadPort();
    batch.Type("\nq\n");
    EXPECT_EQ(0, batch.WaitForExit(milliseconds(15000))) << batch.ErrorText();
    const std::vector<std::string> printed = Lines(batch.OutputText());
    ASSERT_EQ(3u, printed.size());
    EXPECT_EQ("2 uploads: 2 confirmed, 0 failed", printed[2]);
}

TEST_F(ToolTest, StopSignalsReleaseThePortAndLeaveNothingHalfDone) {
    ChildProcess sim = Simulator({});
    const std::string port = sim.ReadPort();
    const std::string log = Path("record.jsonl");
    // A terminal program used the port before and left its settings: XON/XOFF would eat the
    // frame's 0x11 and 0x13, echo and line editing would answer the controller. The tool takes
    // the line raw while it holds it, and leaves it as it found it whatever stops it.
    const UniqueFd other(::open(port.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    termios left = SettingsOf(other.get());
    left.c_iflag |= IXON | IXOFF | IXANY | ICRNL;
    left.c_oflag |= OPOST | ONLCR;
    left.c_lflag |= ECHO | ICANON | ISIG;
    ASSERT_EQ(0, ::tcsetattr(other.get(), TCSANOW, &left));
    left = SettingsOf(other.get());
    const std::vector<std::string> xonXoff = {"--set", "fwd.acc=17", "rev.dec=19"};
    // At the prompt: the uploads before it stay recorded, and the port is free for anybody.
    // clang-format off
    const struct {
        int signal;
        std::string name;
    } stops[] = {{SIGINT, "SIGINT"},   {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"},
                 {SIGQUIT, "SIGQUIT"}, {SIGUSR1, "SIGUSR1"}, {SIGALRM, "SIGALRM"},
                 {SIGRTMAX, "SIGRTMIN+" + std::to_string(SIGRTMAX - SIGRTMIN)}};
    // clang-format on
    for (const auto& stop : stops) {
        SCOPED_TRACE(stop.name);
        std::vector<std::string> arguments = {"upload",   "--port", port, StartFile(),
                                              "--repeat", "--log",  log};
        arguments.insert(arguments.end(), xonXoff.begin(), xonXoff.end());
        ChildProcess tool = Tool(arguments, "", ChildProcess::Pipes::kInputLeftOpen);
        ASSERT_TRUE(tool.WaitForError("press Enter")) << tool.ErrorText();
        EXPECT_EQ(0u, tool.ReadLine().value_or("").find("confirmed in "));
        EXPECT_EQ(0u, SettingsOf(other.get()).c_iflag & (IXON | IXOFF | IXANY | ICRNL));
        tool.Signal(stop.signal);
        EXPECT_EQ(128 + stop.signal, tool.WaitForExit());
        EXPECT_NE(std::string::npos, tool.ErrorText().find("vkd37: interrupted by " + stop.name));
        EXPECT_EQ(std::make_pair(0, false), PortHolds(port));
        EXPECT_TRUE(SameSettings(left, SettingsOf(other.get())));
    }
    std::size_t recorded = Lines(ReadWholeFile(log)).size();
    EXPECT_EQ(std::size(stops), recorded);
    // A fault (here abort) still ends the program as it would, with no core file, but lets go
    // of the port first.
    std::vector<std::string> crash = {"-c",
                                      "ulimit -c 0; exec \"$0\" \"$@\"",
                                      VKD37_TOOL_PATH,
                                      "upload",
                                      "--port",
                                      port,
                                      StartFile(),
                                      "--repeat"};
    crash.insert(crash.end(), xonXoff.begin(), xonXoff.end());
    ChildProcess crashed("/bin/bash", crash, "", ChildProcess::Pipes::kInputLeftOpen);
    ASSERT_TRUE(crashed.WaitForError("press Enter")) << crashed.ErrorText();
    crashed.Signal(SIGABRT);
    EXPECT_EQ(128 + SIGABRT, crashed.WaitForExit());
    EXPECT_EQ(std::make_pair(0, false), PortHolds(port));
    EXPECT_TRUE(SameSettings(left, SettingsOf(other.get())));
    // A reader that went away takes no work with it; the status tells what the controller and
    // the files got. A command whose output is all it does fails without it.
    const std::string file = StartFile();
    ChildProcess unread =
        Tool({"upload", "--port", port, file, "--set", "fwd.speed=60", "--save", "--log", log}, "",
             ChildProcess::Pipes::kOutputUnread);
    EXPECT_EQ(0, unread.WaitForExit());
    EXPECT_EQ("vkd37: cannot write to standard output: Broken pipe\n", unread.ErrorText());
    EXPECT_EQ("0 0 10 60 10 0 10 108 10 100 2000 2000 0 0 0 0 ", ReadWholeFile(file));
    EXPECT_EQ(++recorded, Lines(ReadWholeFile(log)).size());
    EXPECT_EQ(2, Tool({"show", file}, "", ChildProcess::Pipes::kOutputUnread).WaitForExit());

    // Mid-upload: what the controller got is unknown, so nothing is recorded or saved. The
    // signal goes as soon as the simulator has the frame, long before the tool stops waiting for
    // its echo.
    ChildProcess slow = Simulator({"--json", "--delay-ms", "5000"});
    const std::string slowPort = slow.ReadPort();
    const std::string unchanged = StartFile("slow.dll");
    ChildProcess cut = Tool(
        {"upload", "--port", slowPort, unchanged, "--set", "fwd.speed=60", "--save", "--log", log});
    ASSERT_TRUE(slow.ReadLine().has_value()) << "the frame did not arrive";
    cut.Signal(SIGTERM);
    EXPECT_EQ(143, cut.WaitForExit());
    EXPECT_EQ(std::make_pair(0, false), PortHolds(slowPort));
    EXPECT_EQ(recorded, Lines(ReadWholeFile(log)).size());
    EXPECT_EQ(kStartValues, ReadWholeFile(unchanged));
}

// Descriptors 0-2 closed by whoever started the tool: the port must not take their place, or
// the tool's words go down the line and the controller's bytes are read as answers.
TEST_F(ToolTest, ClosedStandardDescriptorsNeverReachTheLine) {
    for (const char* closed : {">&- 2>&-", "<&-"}) {
        SCOPED_TRACE(closed);
        ChildProcess sim = Simulator({"--json", "--extra", "40"});
        ChildProcess tool =
            ToolAfter(closed, {"upload", "--port", sim.ReadPort(), StartFile(), "--repeat"});
        EXPECT_EQ(0, tool.WaitForExit());
        // The one frame, and nothing else came down the line.
        EXPECT_TRUE(sim.ReadLine().has_value());
        EXPECT_EQ(std::nullopt, sim.ReadLine(milliseconds(500)));
    }
}

// Root passes another program's TIOCEXCL: it must neither use that port nor clear its flag.
TEST_F(ToolTest, RootLeavesAPortAnotherProgramHoldsExclusively) {
    if (::getuid() != 0) {
        GTEST_SKIP() << "only root gets past another program's TIOCEXCL";
    }
    ChildProcess sim = Simulator({});
    const std::string port = sim.ReadPort();
    const UniqueFd holder(::open(port.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_EQ(0, ::ioctl(holder.get(), TIOCEXCL));
    ChildProcess tool = Tool({"upload", "--port", port, StartFile()});
    EXPECT_EQ(3, tool.WaitForExit());
    EXPECT_EQ(Refused(PortFault::kBusy, port), tool.ErrorText());
    EXPECT_EQ(1, PortHolds(port).first);
    EXPECT_EQ(std::nullopt, sim.ReadLine(milliseconds(200)));
}

TEST_F(ToolTest, FilesThatCannotBeReadOrWrittenAreNamed) {
    ChildProcess sim = Simulator({});
    const std::string port = sim.ReadPort();
    // Unreadable is not missing: nothing is sent, and the file is not replaced by start values.
    const std::string locked = StartFile("locked.dll");
    ::chmod(locked.c_str(), 0);
    ChildProcess set = ToolAsUser({"set", locked, "fwd.speed=50"});
    EXPECT_EQ(2, set.WaitForExit());
    EXPECT_NE(std::string::npos, set.ErrorText().find("cannot read " + locked + ": "));
    ::chmod(locked.c_str(), 0644);
    EXPECT_EQ(kStartValues, ReadWholeFile(locked));
    // A mistyped name uploads nothing; frame never sends anything, and does not say it did not.
    const std::string missing =
        "vkd37: cannot read " + Path("typo.dll") + ": No such file or directory";
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } refusals[] = {
        {{"upload", Path("typo.dll"), "--port", port}, missing + "; nothing was sent\n"},
        {{"frame", Path("typo.dll")}, missing + "\n"},
    };
    for (const auto& refusal : refusals) {
        ChildProcess tool = Tool(refusal.arguments);
        EXPECT_EQ(2, tool.WaitForExit());
        EXPECT_EQ(refusal.message, tool.ErrorText());
    }
    // A record that cannot be opened stops the upload before anything is sent, with its cause.
    ChildProcess unopened =
        Tool({"upload", "--port", port, StartFile(), "--log", Path("gone/record.jsonl")});
    EXPECT_EQ(2, unopened.WaitForExit());
    EXPECT_EQ("vkd37: cannot open the log " + Path("gone/record.jsonl") +
                  ": No such file or directory\n",
              unopened.ErrorText());
    // The record is a file: a port would take the lines as frames, a terminal show them, a FIFO
    // nobody reads be waited on. Each is refused at once, before anything is sent.
    const std::string fifo = Path("record.fifo");
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    const std::string socketPath = Path("record.socket");
    const UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(0, ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address));
    const struct {
        std::string log;
        const char* kind;
    } notFiles[] = {{port, "a character device"},
                    {"/dev/tty", "a character device"},
                    {fifo, "a FIFO"},
                    {socketPath, "a socket"},
                    {scratch_.Path().string(), "a directory"}};
    for (const auto& notFile : notFiles) {
        ChildProcess tool = Tool({"upload", "--port", port, StartFile(), "--log", notFile.log});
        EXPECT_EQ(2, tool.WaitForExit());
        EXPECT_EQ("vkd37: cannot open the log " + notFile.log + ": it is " + notFile.kind +
                      ", not a regular file\n",
                  tool.ErrorText());
    }
    // A record that is the command's own settings file or profile, by any name, or holds one,
    // would take lines the next command cannot read; one this user can append to but not read
    // would link its lines to nothing. Each is refused and left as it was.
    const std::string settings = StartFile("values.dll");
    ASSERT_EQ(0,
              Tool({"profile", "new", "Std", Path("std.json"), "--from", settings}).WaitForExit());
    ASSERT_EQ(0, ::link(settings.c_str(), Path("hard.dll").c_str()));
    ASSERT_EQ(0, ::symlink(Path("std.json").c_str(), Path("soft.json").c_str()));
    WriteFile(Path("copy.json"), ReadWholeFile(Path("std.json")));
    WriteFile(Path("utf16.dll"), std::string("\xFF\xFE"
                                             "0\0 \0"
                                             "1\0"));
    const std::string writeOnly = Path("write-only.jsonl");
    WriteFile(writeOnly, "");
    ::chmod(writeOnly.c_str(), 0222);
    const std::vector<std::string> upload = {"upload", "--port", port, settings};
    const std::vector<std::string> station = {"station", "--profile", Path("std.json"), "--port",
                                              port};
    const struct {
        std::vector<std::string> command; // --log follows
        std::string log;
        std::string cause;
    } notRecords[] = {
        {upload, settings, "it is the settings file " + settings + ", not a record"},
        {upload, Path("hard.dll"), "it is the settings file " + settings + ", not a record"},
        {{"upload", "--port", port, "--profile", Path("std.json"), settings},
         Path("soft.json"),
         "it is the profile " + Path("std.json") + ", not a record"},
        {station, Path("soft.json"), "it is the profile " + Path("std.json") + ", not a record"},
        {station, Path("copy.json"), "it holds a profile, not a record"},
        {station, StartFile("other.dll"), "it holds settings, not a record"},
        {station, Path("utf16.dll"), "it holds text in UTF-16, not a record"},
        {upload, writeOnly,
         "it can be written but not read, and each line links to the one before it"},
    };
    for (const auto& notRecord : notRecords) {
        std::vector<std::string> arguments = notRecord.command;
        arguments.insert(arguments.end(), {"--log", notRecord.log});
        const std::string before = ReadWholeFile(notRecord.log);
        // Root reads a file whatever its mode.
        ChildProcess tool = notRecord.log == writeOnly ? ToolAsUser(arguments) : Tool(arguments);
        EXPECT_EQ(2, tool.WaitForExit()) << notRecord.log;
        EXPECT_EQ("vkd37: cannot open the log " + notRecord.log + ": " + notRecord.cause + "\n",
                  tool.ErrorText());
        EXPECT_EQ(before, ReadWholeFile(notRecord.log));
    }
    EXPECT_EQ(std::nullopt, sim.ReadLine(milliseconds(200)));
    // A record whose first line was cut to a time's digits is a record all the same.
    const std::string cut = Path("cut.jsonl");
    WriteFile(cut, "2026-12-09T12:04:02.123Z\",\"unit\":\"A1\"}\n");
    std::vector<std::string> arguments = upload;
    arguments.insert(arguments.end(), {"--log", cut});
    ChildProcess taken = Tool(arguments);
    EXPECT_EQ(0, taken.WaitForExit()) << taken.ErrorText();
    EXPECT_EQ(2u, Lines(ReadWholeFile(cut)).size());
}

// The same bytes give the same frame on every face: the tool sends what the dialog and the page
// send, or refuses naming the value; it never writes over values it could not read.
TEST_F(ToolTest, SettingsFilesGiveTheFormsFrameOrARefusalNamingTheValue) {
    ChildProcess sim = Simulator({"--json"});
    const std::string port = sim.ReadPort();
    const std::string path = Path("settings.dll");
    for (const SettingsFile& file : SettingsFiles()) {
        SCOPED_TRACE(file.name);
        ASSERT_TRUE(*file.formsSend || *file.toolRefuses)
            << "the tool may not send what the forms do not";
        if (file.folder) {
            continue; // the Windows suite runs it
        }
        WriteFile(path, file.bytes);
        ChildProcess upload = Tool({"upload", "--port", port, path});
        if (*file.toolRefuses) {
            EXPECT_EQ(2, upload.WaitForExit());
            EXPECT_NE(std::string::npos, upload.ErrorText().find(file.toolRefuses))
                << upload.ErrorText();
        } else {
            EXPECT_EQ(0, upload.WaitForExit(milliseconds(5000))) << upload.ErrorText();
            const Json received = Json::parse(sim.ReadLine().value_or("{}"), nullptr, false);
            const std::string bytes = received.value("bytes", "");
            EXPECT_EQ(file.formsSend, bytes);
            ASSERT_EQ(38u, bytes.size());
            EXPECT_LE(std::stoi(bytes.substr(2, 2), nullptr, 16), 2) << "fwd.source";
            EXPECT_LE(std::stoi(bytes.substr(10, 2), nullptr, 16), 2) << "rev.source";
        }

        ChildProcess show = Tool({"show", "--json", path});
        EXPECT_EQ(0, show.WaitForExit());
        const Json reading = Json::parse(show.ReadLine().value_or("{}"), nullptr, false)
                                 .value("reading", Json::object());
        EXPECT_EQ(file.values, reading.value("values", -1));
        const std::string stop = reading.value("stop", "");
        EXPECT_EQ(file.stopsAtUnreadable,
                  stop == "not-a-number" || stop == "out-of-range" || stop == "read-limit")
            << stop;
        if (file.values < 16) {
            ChildProcess text = Tool({"show", path});
            EXPECT_EQ(0, text.WaitForExit());
            const std::string heading = text.ReadLine().value_or("");
            EXPECT_NE(std::string::npos, heading.find(" read as 0, as in the dialog")) << heading;
        }

        // Left as it was, before anything is sent, when its values stop at what is unreadable.
        if (!file.stopsAtUnreadable) {
            continue;
        }
        for (const std::vector<std::string>& save : std::vector<std::vector<std::string>>{
                 {"set", path, "cycles=7"}, {"upload", "--port", port, path, "--save"}}) {
            ChildProcess tool = Tool(save);
            EXPECT_EQ(2, tool.WaitForExit());
            EXPECT_EQ(0u, tool.ErrorText().find("vkd37: cannot change " + path +
                                                ": its values stop at byte "))
                << tool.ErrorText();
            EXPECT_EQ(file.bytes, ReadWholeFile(path));
        }
    }
    EXPECT_EQ(std::nullopt, sim.ReadLine(milliseconds(200))) << "a refused file reached the line";
}

// Another program's save holds the file's lock: the wait is said, a stop signal ends it at once
// with nothing changed, and after its bound the tool says who holds the file. A record's line
// waiting for another batch's stops waiting at a stop signal too, and is kept.
TEST_F(ToolTest, AWaitForTheFileEndsAtAStopSignalOrSaysWhoHoldsIt) {
    const std::string file = StartFile();
    const UniqueFd holder(::open(file.c_str(), O_RDWR | O_CLOEXEC));
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(kSaveLockOffset);
    lock.l_len = 1;
    ASSERT_EQ(0, ::fcntl(holder.get(), F_OFD_SETLK, &lock));
    const std::string log = Path("held.jsonl");
    {
        const UniqueFd record(::open(log.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
        ASSERT_EQ(0, ::fcntl(record.get(), F_OFD_SETLK, &lock));
        ChildProcess sim = Simulator({});
        ChildProcess upload = Tool({"upload", "--port", sim.ReadPort(), file, "--log", log});
        ASSERT_TRUE(upload.WaitForError(log + ": another program holds the file; waiting",
                                        milliseconds(8000)))
            << upload.ErrorText();
        upload.Signal(SIGINT);
        EXPECT_EQ(130, upload.WaitForExit(milliseconds(5000)));
        EXPECT_EQ(1u, Lines(ReadWholeFile(log)).size());
    }
    const struct {
        int signal;
        int status;
    } stops[] = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}};
    for (const auto& stop : stops) {
        SCOPED_TRACE(stop.signal);
        ChildProcess tool = Tool({"set", file, "fwd.speed=60"});
        ASSERT_TRUE(
            tool.WaitForError("another program holds the file; waiting", milliseconds(8000)))
            << tool.ErrorText();
        tool.Signal(stop.signal);
        // Well inside the wait's own bound of 10 s.
        EXPECT_EQ(stop.status, tool.WaitForExit(milliseconds(5000)));
        EXPECT_NE(std::string::npos, tool.ErrorText().find("holds the file; stopped waiting"));
    }
    EXPECT_EQ(kStartValues, ReadWholeFile(file));

    ChildProcess sim = Simulator({});
    const std::string port = sim.ReadPort();
    ChildProcess upload = Tool({"upload", "--port", port, file, "--set", "fwd.speed=60", "--save"});
    EXPECT_EQ(4, upload.WaitForExit(milliseconds(20000)));
    EXPECT_EQ(0u, upload.ReadLine().value_or("").find("confirmed in "));
    EXPECT_NE(std::string::npos, upload.ErrorText().find("vkd37: cannot lock " + file +
                                                         ": another program holds the file\n"))
        << upload.ErrorText();
    EXPECT_EQ(kStartValues, ReadWholeFile(file));
    EXPECT_EQ(std::make_pair(0, false), PortHolds(port));
}

// With the file-size limit the saves fail and say so, and leave neither a temporary nor the
// port held; before, SIGXFSZ ended the tool without a word.
TEST_F(ToolTest, TheFileSizeLimitIsAFailureToWriteNotAnEnd) {
    ChildProcess sim = Simulator({});
    const std::string port = sim.ReadPort();
    const struct {
        std::vector<std::string> arguments;
        int status;
    } cases[] = {
        {{"set", StartFile(), "fwd.speed=50"}, 2},
        {{"upload", "--port", port, StartFile(), "--set", "fwd.speed=50", "--save", "--log",
          Path("record.jsonl")},
         4},
    };
    for (const auto& limited : cases) {
        std::vector<std::string> arguments = {"-c", "ulimit -f 0; exec \"$0\" \"$@\"",
                                              VKD37_TOOL_PATH};
        arguments.insert(arguments.end(), limited.arguments.begin(), limited.arguments.end());
        ChildProcess tool("/bin/bash", arguments);
        EXPECT_EQ(limited.status, tool.WaitForExit(milliseconds(5000)));
        EXPECT_NE(std::string::npos, tool.ErrorText().find("vkd37: cannot write " +
                                                           Path("start.dll") + ": File too large"))
            << tool.ErrorText();
    }
    EXPECT_EQ(kStartValues, ReadWholeFile(Path("start.dll")));
    EXPECT_EQ(std::make_pair(0, false), PortHolds(port));
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::directory_iterator(scratch_.Path())) {
        entries.push_back(entry.path().filename().string());
    }
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ((std::vector<std::string>{"record.jsonl", "start.dll"}), entries);
}

// A record line is whole or nothing: the file-size limit cuts none, and a line cut before (by
// a full disk, a crash) is ended, so the next attempt's line is read, not swallowed.
TEST_F(ToolTest, ACutRecordLineNeverSwallowsTheNextAttempt) {
    ChildProcess sim = Simulator({});
    const std::string port = sim.ReadPort();
    const std::string log = Path("cut.jsonl");
    ChildProcess limited("/bin/bash",
                         {"-c", "ulimit -f 1; exec \"$0\" \"$@\"", VKD37_TOOL_PATH, "upload",
                          "--port", port, StartFile(), "--repeat", "--unit", "F-1", "--log", log},
                         "F-2\nF-3\nq\n");
    EXPECT_EQ(4, limited.WaitForExit(milliseconds(20000))) << limited.ErrorText();
    EXPECT_NE(std::string::npos, limited.ErrorText().find("File too large"));
    // The attempt whose line was not written names no head, which would seem to cover it.
    std::vector<std::string> attempts;
    for (const std::string& line : Lines(limited.OutputText())) {
        if (line.rfind("confirmed in ", 0) == 0) {
            attempts.push_back(line);
        }
    }
    ASSERT_GE(attempts.size(), 2u) << limited.OutputText();
    EXPECT_NE(std::string::npos, attempts.front().find("; record head "));
    EXPECT_EQ(std::string::npos, attempts.back().find("record head")) << attempts.back();
    // A script reading --json learns it too: the refused line says so and links to nothing, and
    // the batch counts it.
    ChildProcess json("/bin/bash",
                      {"-c", "ulimit -f 1; exec \"$0\" \"$@\"", VKD37_TOOL_PATH, "upload", "--port",
                       port, StartFile(), "--repeat", "--json", "--log", Path("json.jsonl")},
                      "\n\n\n\nq\n");
    EXPECT_EQ(4, json.WaitForExit(milliseconds(20000))) << json.ErrorText();
    const std::vector<std::string> printed = Lines(json.OutputText());
    ASSERT_GE(printed.size(), 3u) << json.OutputText();
    for (std::size_t i = 0; i + 1 < printed.size(); ++i) {
        const bool last = i + 2 == printed.size();
        EXPECT_EQ(!last, Json::parse(printed[i]).value("recorded", true)) << printed[i];
        EXPECT_EQ(!last, Json::parse(printed[i]).contains("prev")) << printed[i];
    }
    EXPECT_EQ(1, Json::parse(printed.back()).value("unrecorded", 0)) << printed.back();
    for (const char* unit : {"F-4", "cut", "F-5"}) {
        if (std::string(unit) == "cut") {
            std::ofstream(log, std::ios::app) << R"({"time":"2025-03-04T09:1)";
            continue;
        }
        ChildProcess tool =
            Tool({"upload", "--port", port, StartFile(), "--unit", unit, "--log", log});
        EXPECT_EQ(0, tool.WaitForExit(milliseconds(5000))) << tool.ErrorText();
    }
    ChildProcess report = Tool({"report", log});
    EXPECT_EQ(0, report.WaitForExit());
    const std::string text = report.OutputText();
    for (const char* unit : {"\nF-1 ", "\nF-4 ", "\nF-5 "}) {
        EXPECT_NE(std::string::npos, text.find(unit)) << unit << text;
    }
    const std::vector<std::string> lines = Lines(ReadWholeFile(log));
    EXPECT_NE(std::string::npos,
              report.ErrorText().find(": line " + std::to_string(lines.size() - 1) + " is not"))
        << report.ErrorText();
    EXPECT_NE(std::string::npos, text.find("Units:                                " +
                                           std::to_string(lines.size() - 1) + "\n"))
        << text;
    // The next line links to the cut one: a gap, not an edit.
    ChildProcess verified = Tool({"report", "--verify", log});
    EXPECT_EQ(0, verified.WaitForExit());
    EXPECT_NE(std::string::npos,
              verified.OutputText().find("the chain holds; line " +
                                         std::to_string(lines.size() - 1) + " cut short (a gap"))
        << verified.OutputText();
}

TEST_F(ToolTest, NamesThatAreNotUtf8AreShownNotFatal) {
    const std::string odd = Path("caf\xE9.dll");
    ChildProcess show = Tool({"show", "--json", odd});
    EXPECT_EQ(0, show.WaitForExit());
    const Json shown = Json::parse(show.ReadLine().value_or("{}"), nullptr, false);
    EXPECT_EQ(Path("caf\xEF\xBF\xBD.dll"), shown.value("file", ""));

    ChildProcess sim = Simulator({});
    const std::string port = Path("port\xE9");
    ASSERT_EQ(0, ::symlink(sim.ReadPort().c_str(), port.c_str()));
    ChildProcess tool = Tool({"upload", "--port", port, StartFile(), "--log", Path("log")});
    EXPECT_EQ(0, tool.WaitForExit()) << tool.ErrorText();
    const Json logged = Json::parse(ReadWholeFile(Path("log")), nullptr, false);
    EXPECT_EQ("confirmed", logged.value("outcome", ""));
}

namespace {

// Reads the child's output until a line holds text; the lines read, that one last.
std::string OutputUntil(ChildProcess& child, const std::string& text) {
    std::string read;
    while (const std::optional<std::string> line = child.ReadLine()) {
        read += *line + "\n";
        if (line->find(text) != std::string::npos) {
            break;
        }
    }
    return read;
}

} // namespace

// A station as a scanner drives it (a label and Enter, typed at once): the profile is sent, PASS
// shown with the label; a label the pattern refuses sends nothing; a unit done today is named;
// an adapter that comes back is opened anew; each line names the station and the profile, and
// links to the one before it, so that a value changed by hand fails report --verify at its line.
TEST_F(ToolTest, StationAppliesItsProfileUnitAfterUnit) {
    const std::string profile = Path("line3.json");
    const std::string log = Path("station.jsonl");
    ChildProcess made = Tool({"profile", "new", "Line 3", profile, "--set", "fwd.acc=17"});
    ASSERT_EQ(0, made.WaitForExit()) << made.ErrorText();
    const std::string identity = made.OutputText().substr(made.OutputText().find('[') + 1, 64);
    const std::vector<std::string> adapter = {"--link", Path("com"), "--no-pace", "--json"};
    std::optional<ChildProcess> sim(std::in_place, VKD37_SIM_PATH, adapter);
    sim->ReadPort();
    ASSERT_TRUE(sim->WaitForError("link: "));
    // Five and a half hours east of UTC, where the station's times are local.
    ChildProcess station("/usr/bin/env",
                         {"TZ=IST-5:30", VKD37_TOOL_PATH, "station", "--profile", profile, "--port",
                          Path("com"), "--log", log, "--unit-pattern", "F-[0-9]+", "--station-name",
                          "bench-7"},
                         "", ChildProcess::Pipes::kInputLeftOpen);
    station.Type("F-1\nF 2\n");
    EXPECT_NE(std::string::npos, OutputUntil(station, "F-1  confirmed in").find("#   #  #   #"));
    EXPECT_NE(std::string::npos, OutputUntil(station, "REFUSED, nothing sent").find("'F 2'"));
    EXPECT_NE(std::string::npos, sim->ReadLine().value_or("").find("\"acc\":17"));

    sim->Signal(SIGTERM);
    EXPECT_EQ(0, sim->WaitForExit());
    sim.emplace(VKD37_SIM_PATH, adapter);
    sim->ReadPort();
    station.Type("F-1\n");
    const std::string again = OutputUntil(station, "F-1  confirmed in");
    EXPECT_NE(std::string::npos, again.find("F-1 was confirmed today already")) << again;
    station.EndInput();
    EXPECT_EQ(0, station.WaitForExit()) << station.ErrorText();
    EXPECT_NE(std::string::npos, station.ErrorText().find("reopened"));
    EXPECT_EQ("2 units: 2 passed, 0 failed", Lines(station.OutputText()).back());
    sim->Signal(SIGTERM);
    EXPECT_EQ(0, sim->WaitForExit());
    EXPECT_EQ(1u, Lines(sim->OutputText()).size()); // the refused label sent nothing

    std::vector<std::string> lines = Lines(ReadWholeFile(log));
    ASSERT_EQ(2u, lines.size());
    const std::string utc = Json::parse(lines[0]).value("time", "2025-03-04T09:15:02.123Z");
    const int minutes = (std::stoi(utc.substr(11, 2)) * 60 + std::stoi(utc.substr(14, 2)) + 330);
    char at[16];
    std::snprintf(at, sizeof at, "at %02d:%02d:%.2s", minutes / 60 % 24, minutes % 60, &utc[17]);
    EXPECT_NE(std::string::npos, again.find(at)) << again;
    for (const std::string& line : lines) {
        const Json entry = Json::parse(line);
        EXPECT_EQ("bench-7", entry.value("station", ""));
        EXPECT_EQ("Line 3", entry.value("profile", ""));
        EXPECT_EQ(identity, entry.value("profileId", ""));
    }
    // The last line is covered by the head the station printed.
    const std::string output = station.OutputText();
    const std::size_t headAt = output.find("ends at head ");
    ASSERT_NE(std::string::npos, headAt) << output;
    const std::string head = output.substr(headAt + 13, 12);
    ChildProcess verified = Tool({"report", "--verify", "--head", head, log});
    EXPECT_EQ(0, verified.WaitForExit()) << verified.OutputText();
    // A new, empty file after the record holds no head; alone, it cannot hold the one printed.
    const std::string empty = Path("empty.jsonl");
    WriteFile(empty, "\r\n");
    ChildProcess withEmpty = Tool({"report", "--verify", "--head", head, log, empty});
    EXPECT_EQ(0, withEmpty.WaitForExit()) << withEmpty.OutputText();
    ChildProcess onlyEmpty = Tool({"report", "--verify", "--head", head, empty});
    EXPECT_EQ(1, onlyEmpty.WaitForExit());
    EXPECT_NE(std::string::npos, onlyEmpty.OutputText().find(": no lines, so no head"));
    // Without a chain only a record whose lines read passes: not one that cannot be read as one.
    std::string utf16 = "\xFF\xFE";
    for (const char c : ReadWholeFile(log)) {
        utf16 += {c, '\0'};
    }
    const struct {
        const char* what;
        std::string text;
        int status;
    } chainless[] = {
        {"saved as UTF-16", utf16, 1}, {"other text", "Line 3\n", 1}, {"empty", "", 0}};
    for (const auto& file : chainless) {
        WriteFile(empty, file.text);
        ChildProcess checked = Tool({"report", "--verify", empty});
        EXPECT_EQ(file.status, checked.WaitForExit()) << file.what;
        EXPECT_EQ(file.status != 0, checked.OutputText().find(": not one of its lines reads as a "
                                                              "record line") != std::string::npos)
            << file.what << ": " << checked.OutputText();
    }
    lines[1].replace(lines[1].find("\"fwd.acc\":17"), 12, "\"fwd.acc\":18");
    WriteFile(log, lines[0] + "\n" + lines[1] + "\n");
    ChildProcess otherHead = Tool({"report", "--verify", "--head", head, log});
    EXPECT_EQ(1, otherHead.WaitForExit());
    EXPECT_NE(std::string::npos, otherHead.OutputText().find(", not " + head + ": the last line"));
    lines[0].replace(lines[0].find("\"fwd.acc\":17"), 12, "\"fwd.acc\":18");
    WriteFile(log, lines[0] + "\n" + lines[1] + "\n");
    ChildProcess edited = Tool({"report", "--verify", log});
    EXPECT_EQ(1, edited.WaitForExit());
    EXPECT_NE(std::string::npos, edited.OutputText().find("breaks between lines 1 and 2: line 1 "
                                                          "was changed"))
        << edited.OutputText();
}

// The station reads its record a chunk at a time for the units confirmed today, however large:
// here past a gigabyte of a line cut short (a hole in the file), a whole record read at once could
// not hold it.
TEST_F(ToolTest, TheStationFindsTodaysUnitsInARecordOfAnySize) {
    const std::string log = Path("large.jsonl");
    WriteFile(log, "{\"time\":\"2025-03-04T09:00:00.000Z\"");
    std::filesystem::resize_file(log, (std::uintmax_t{1} << 30) + 1);
    const std::time_t now = std::time(nullptr);
    char today[32];
    std::strftime(today, sizeof today, "%Y-%m-%dT%H:%M:%S.000Z", std::gmtime(&now));
    std::ofstream(log, std::ios::app) << "\n{\"time\":\"" << today << "\",\"unit\":\"T-1\","
                                      << "\"frame\":\"\",\"outcome\":\"confirmed\"}\n";
    ChildProcess made = Tool({"profile", "new", "Line 3", Path("line3.json")});
    ASSERT_EQ(0, made.WaitForExit()) << made.ErrorText();
    ChildProcess sim = Simulator({});
    ChildProcess station(
        VKD37_TOOL_PATH,
        {"station", "--profile", Path("line3.json"), "--port", sim.ReadPort(), "--log", log},
        "T-1\n");
    const std::string said = OutputUntil(station, "T-1  confirmed in");
    EXPECT_NE(std::string::npos, said.find("T-1 was confirmed today already")) << said;
    EXPECT_EQ(0, station.WaitForExit(milliseconds(60000))) << station.ErrorText();
}

// The changes are said before anything is sent; at no terminal nobody is asked.
TEST_F(ToolTest, UploadShowsTheChangesAgainstTheFileFirst) {
    ChildProcess sim = Simulator({});
    ChildProcess tool = Tool({"upload", "--port", sim.ReadPort(), StartFile(), "--set",
                              "fwd.source=external-pot", "--show-changes"});
    EXPECT_EQ(0, tool.WaitForExit()) << tool.ErrorText();
    EXPECT_NE(std::string::npos,
              tool.ErrorText().find("changes against " + Path("start.dll") +
                                    ":\n  fwd.source (正向速度来源)  internal (内部速度) -> "
                                    "external-pot (外部电位器)\n"))
        << tool.ErrorText();
}

// diff takes any two of a settings file, a profile and a record's unit (its last confirmed
// values): exit status 0 for the same values, 1 for others, each change in both languages; a
// label's backslash is doubled for a person only, never in the JSON.
TEST_F(ToolTest, DiffComparesSettingsProfilesAndARecordsUnits) {
    const std::string profile = Path("p.json");
    const std::string log = Path("r.jsonl");
    ChildProcess made = Tool({"profile", "new", "P", profile, "--from", StartFile()});
    ASSERT_EQ(0, made.WaitForExit()) << made.ErrorText();
    ChildProcess sim = Simulator({});
    ChildProcess sent = Tool(
        {"upload", "--port", sim.ReadPort(), "--profile", profile, "--unit", "F-1", "--log", log});
    ASSERT_EQ(0, sent.WaitForExit()) << sent.ErrorText();
    WriteFile(log, ReadWholeFile(log) +
                       std::regex_replace(ReadWholeFile(log), std::regex("F-1"), "F\\\\1"));
    WriteFile(Path("other.dll"), kCyclesOnValues);
    WriteFile(Path("bom.json"), "\xEF\xBB\xBF" + ReadWholeFile(profile)); // as Notepad saves it
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string printed;
    } cases[] = {
        {{"diff", log, profile, "--unit", "F-1"}, 0, "  the same values\n"},
        {{"diff", Path("bom.json"), profile}, 0, "  the same values\n"},
        {{"diff", StartFile(), Path("other.dll")},
         1,
         "  cycles.on (启用循环次数)  off (关) -> on (开)\n"},
        {{"diff", log, Path("other.dll"), "--unit", "F-1", "--json"},
         1,
         R"("changes":[{"name":"cycles.on","nameZh":"启用循环次数","old":{"value":0,"en":"off",)"},
        {{"diff", log, profile}, 2, ""},
        {{"diff", log, profile, "--unit", "F-2"}, 2, ""},
        {{"diff", log, profile, "--unit", "F\\1"}, 0, "--- unit F\\\\1 in "},
        {{"diff", log, profile, "--unit", "F\\1", "--json"}, 0, R"({"old":"unit F\\1 in )"},
    };
    for (const auto& c : cases) {
        ChildProcess diff = Tool(c.arguments);
        EXPECT_EQ(c.status, diff.WaitForExit()) << c.arguments[1] << diff.ErrorText();
        EXPECT_NE(std::string::npos, diff.OutputText().find(c.printed)) << c.arguments[1];
    }
}

// A profile is written to a new file, or with --replace over a profile, never over another file,
// and has a name; what a profile's name holds reaches the terminal with its controls escaped.
TEST_F(ToolTest, ProfileNewReplacesOnlyAProfileAndItsNameIsShownEscaped) {
    const std::string settings = StartFile();
    const std::string kept = Path("p.json");
    ChildProcess made = Tool({"profile", "new", "A\x1B]0;pwned\x07\x1B[31mRED", kept});
    ASSERT_EQ(0, made.WaitForExit()) << made.ErrorText();
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string file; // left as it was, but by a profile new that exits 0
    } cases[] = {
        {{"profile", "new", "L3", settings, "--replace"}, 2, settings},
        {{"profile", "new", "L3", kept}, 2, kept},
        {{"profile", "new", " \t", Path("blank.json")}, 2, Path("blank.json")},
        {{"profile", "show", kept}, 0, kept},
        {{"diff", kept, settings}, 0, kept},
        {{"profile", "new", "L3", kept, "--replace"}, 0, kept},
    };
    for (const auto& c : cases) {
        const std::string before = ReadWholeFile(c.file);
        ChildProcess tool = Tool(c.arguments);
        EXPECT_EQ(c.status, tool.WaitForExit()) << c.arguments[2] << tool.ErrorText();
        const std::string said = made.OutputText() + tool.OutputText() + tool.ErrorText();
        EXPECT_EQ(std::string::npos, said.find_first_of("\x1B\x07")) << said;
        EXPECT_EQ(c.status != 0 || c.arguments[1] != "new", before == ReadWholeFile(c.file))
            << c.file;
    }
}

// A line the record cannot take ends the batch at that unit, at a station shown as large as a
// verdict: no controller after it is set up without a trace. A scanned label's controls are shown
// escaped.
TEST_F(ToolTest, ARecordThatCannotTakeALineStopsTheBatchAtThatUnit) {
    const std::string profile = Path("p.json");
    ASSERT_EQ(0, Tool({"profile", "new", "P", profile}).WaitForExit());
    const struct {
        std::vector<std::string> arguments;
        std::string typed;
        std::string last;
    } cases[] = {
        {{"station", "--profile", profile},
         "L-\x1B[2J1\nL-2\n",
         "1 unit: 1 passed, 0 failed, 1 not recorded"},
        {{"upload", StartFile(), "--repeat", "--unit", "L-1"},
         "L-2\nq\n",
         "1 upload: 1 confirmed, 0 failed"},
    };
    for (const auto& c : cases) {
        ChildProcess sim = Simulator({"--json"});
        std::vector<std::string> arguments = {"-c",
                                              "ulimit -f 0; exec \"$0\" \"$@\"",
                                              VKD37_TOOL_PATH,
                                              "--port",
                                              sim.ReadPort(),
                                              "--log",
                                              Path("r.jsonl")};
        arguments.insert(arguments.begin() + 3, c.arguments.begin(), c.arguments.end());
        ChildProcess tool("/bin/bash", arguments, c.typed);
        EXPECT_EQ(4, tool.WaitForExit(milliseconds(20000))) << tool.ErrorText();
        const std::string shown = tool.OutputText();
        EXPECT_EQ(c.last, Lines(shown).back()) << shown;
        sim.Signal(SIGTERM);
        sim.WaitForExit();
        EXPECT_EQ(1u, Lines(sim.OutputText()).size()) << c.arguments[0]; // L-2 never sent
        const std::size_t large = shown.find("  #   #   ###   #####\n"); // NOT
        EXPECT_EQ(c.arguments[0] == "station", large < shown.find("L-\\x1B[2J1  confirmed in"));
    }
}

// --show-changes asks whenever the input is a terminal, on standard output where standard error
// goes elsewhere; where neither output reaches the person, nothing is sent.
TEST_F(ToolTest, ShowChangesAsksWhereThePersonAtTheTerminalReads) {
    const Terminal terminal;
    ASSERT_FALSE(terminal.name.empty());
    const std::string& typing = terminal.name;
    const UniqueFd held(::open(typing.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    for (const auto& [redirections, said] : {std::pair{"<\"$0\" >\"$0\"", "not confirmed"},
                                             std::pair{"<\"$0\"", "both go elsewhere"}}) {
        ASSERT_EQ(2, ::write(terminal.typed.get(), "n\n", 2));
        // Sent, it would fail to open the port: exit status 3.
        ChildProcess tool("/bin/bash", {"-c", std::string("exec \"$@\" ") + redirections, typing,
                                        VKD37_TOOL_PATH, "upload", "--port", Path("none"),
                                        StartFile(), "--set", "fwd.acc=12", "--show-changes"});
        EXPECT_EQ(2, tool.WaitForExit()) << redirections;
        EXPECT_NE(std::string::npos, tool.ErrorText().find(said)) << tool.ErrorText();
    }
}
