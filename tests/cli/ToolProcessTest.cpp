#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "ChildProcess.h"
#include "platform/Handles.h"

namespace {

using std::chrono::milliseconds;
using Json = nlohmann::json;

constexpr char kStartValues[] = "0 0 10 108 10 0 10 108 10 100 2000 2000 0 0 0 0 ";
// The missing-file values with the cycle count switched on.
constexpr char kCyclesOnFrame[] = "03000A6B0A000A6B0A00006400000000000000";

ChildProcess Tool(std::vector<std::string> arguments,
                  std::optional<std::string> input = std::string()) {
    return ChildProcess(VKD37_TOOL_PATH, std::move(arguments), std::move(input));
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
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
        std::string pattern = ::testing::TempDir() + "vkd37-tool-XXXXXX";
        ASSERT_NE(nullptr, ::mkdtemp(pattern.data()));
        directory_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + directory_ + "'").c_str()); }
    std::string Path(const char* name) const { return directory_ + "/" + name; }
    // A parameter file holding what the dialog saves on its first start.
    std::string StartFile(const char* name = "start.dll") const {
        WriteFile(Path(name), kStartValues);
        return Path(name);
    }

    std::string directory_;
};

// Runs one upload against a simulator started with simArguments; the record the tool printed.
Json UploadAgainst(std::vector<std::string> simArguments, const std::string& file,
                   int expectedStatus) {
    simArguments.push_back("--json");
    ChildProcess sim(VKD37_SIM_PATH, simArguments);
    ChildProcess tool =
        Tool({"upload", "--port", sim.ReadPort(), file, "--set", "cycles.on=on", "--json"});
    // Generous: the longest failure waits 1050 ms for an echo.
    EXPECT_EQ(expectedStatus, tool.WaitForExit(milliseconds(5000)));
    return Json::parse(tool.ReadLine().value_or("{}"), nullptr, false);
}

} // namespace

TEST_F(ToolTest, ConfirmedUploadSendsTheExactFrameAndSavesTheValues) {
    ChildProcess sim(VKD37_SIM_PATH, {"--json"});
    const std::string file = StartFile();
    ChildProcess tool =
        Tool({"upload", "--port", sim.ReadPort(), file, "--set", "cycles.on=on", "--save"});
    EXPECT_EQ(0, tool.WaitForExit());
    EXPECT_EQ(0u, tool.ReadLine().value_or("").find("confirmed in ")) << tool.ErrorText();

    const Json received = Json::parse(sim.ReadLine().value_or("{}"), nullptr, false);
    EXPECT_EQ(kCyclesOnFrame, received.value("bytes", ""));
    EXPECT_EQ("0 0 10 108 10 0 10 108 10 100 2000 2000 1 0 0 0 ", ReadFile(file));
}

TEST_F(ToolTest, EveryFailedEchoExitsOneAndExtraBytesStillPass) {
    const struct {
        std::vector<std::string> simArguments;
        const char* outcome;
    } cases[] = {
        {{"--silent"}, "no-echo"},
        {{"--echo-bytes", "18"}, "short-echo"},
        {{"--corrupt", "18"}, "changed-echo"},
        {{"--gap-ms", "150", "--gap-at", "10"}, "short-echo"},
        {{"--delay-ms", "1200"}, "no-echo"},
        {{"--drop-after", "10"}, "line-lost"},
    };
    const std::string file = StartFile();
    for (const auto& failure : cases) {
        SCOPED_TRACE(failure.simArguments.front());
        const Json record = UploadAgainst(failure.simArguments, file, 1);
        EXPECT_EQ(failure.outcome, record.value("outcome", ""));
        EXPECT_EQ(kCyclesOnFrame, record.value("frame", ""));
    }
    EXPECT_EQ("confirmed", UploadAgainst({"--extra", "5"}, file, 0).value("outcome", ""));
}

TEST_F(ToolTest, PortsThatCannotBeOpenedExitThree) {
    ChildProcess sim(VKD37_SIM_PATH, {});
    const std::string port = sim.ReadPort();
    {
        const UniqueFd holder(::open(port.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
        ASSERT_EQ(0, ::flock(holder.get(), LOCK_EX | LOCK_NB));
        ChildProcess tool = Tool({"upload", "--port", port, StartFile()});
        EXPECT_EQ(3, tool.WaitForExit());
        EXPECT_EQ("vkd37: cannot open " + port + ": held by another program\n", tool.ErrorText());
    }
    const struct {
        const char* port;
        const char* message;
    } cases[] = {
        {"/dev/null", "vkd37: cannot open /dev/null: not a serial port\n"},
        {"/dev/ttyVKD37-missing",
         "vkd37: cannot open /dev/ttyVKD37-missing: No such file or directory\n"},
    };
    for (const auto& unusable : cases) {
        ChildProcess tool = Tool({"upload", "--port", unusable.port, StartFile()});
        EXPECT_EQ(3, tool.WaitForExit());
        EXPECT_EQ(unusable.message, tool.ErrorText());
    }
    // Nothing of the attempts reached the controller.
    EXPECT_EQ(std::nullopt, sim.ReadLine(milliseconds(200)));
}

TEST_F(ToolTest, OutOfRangeValuesAreRefusedWithTheirBoundsAndChangeNothing) {
    ChildProcess sim(VKD37_SIM_PATH, {});
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
    EXPECT_EQ(stored, ReadFile(file));
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
    EXPECT_EQ("0 0 5 108 10 2 10 108 10 100 2000 2000 0 0 0 1 ", ReadFile(file));
}

TEST_F(ToolTest, RepeatUploadsOncePerAnswerLogsEachAndSummarises) {
    ChildProcess sim(VKD37_SIM_PATH, {"--json"});
    const std::string log = Path("commissioning.jsonl");
    ChildProcess tool = Tool(
        {"upload", "--port", sim.ReadPort(), StartFile(), "--repeat", "--log", log}, "\n\nq\n");
    EXPECT_EQ(0, tool.WaitForExit(milliseconds(5000)));
    const std::vector<std::string> printed = Lines(tool.OutputText());
    ASSERT_EQ(4u, printed.size());
    EXPECT_EQ("3 uploads: 3 confirmed, 0 failed", printed.back());

    const std::vector<std::string> logged = Lines(ReadFile(log));
    ASSERT_EQ(3u, logged.size());
    for (const std::string& line : logged) {
        const Json record = Json::parse(line, nullptr, false);
        EXPECT_EQ("confirmed", record.value("outcome", ""));
        EXPECT_TRUE(sim.ReadLine().has_value()) << "the simulator saw fewer frames";
        EXPECT_EQ(19u, record.value("frame", "").size() / 2);
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
