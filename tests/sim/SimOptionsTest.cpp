#include <gtest/gtest.h>

#include <vector>

#include "sim/SimOptions.h"

namespace {

ParsedOptions Parse(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "vkd37-sim");
    return ParseSimOptions(static_cast<int>(arguments.size()), arguments.data());
}

} // namespace

TEST(SimOptions, EveryFlagReachesItsField) {
    const ParsedOptions parsed = Parse({"--link",
                                        "/tmp/com",
                                        "--json",
                                        "--log=/tmp/log",
                                        "--no-pace",
                                        "--echo-bytes",
                                        "019", // leading zeros: decimal all the same
                                        "--corrupt",
                                        "18",
                                        "--delay-ms",
                                        "060000",
                                        "--gap-ms=150",
                                        "--gap-at",
                                        "010",
                                        "--extra",
                                        "3",
                                        "--drop-after",
                                        "19",
                                        "--max-frames",
                                        "2",
                                        "--max-seconds",
                                        "09"});
    ASSERT_TRUE(parsed.options) << parsed.output;
    const SimOptions& options = *parsed.options;
    EXPECT_EQ("/tmp/com", options.linkPath);
    EXPECT_EQ("/tmp/log", options.logPath);
    EXPECT_TRUE(options.json);
    EXPECT_FALSE(options.pace);
    EXPECT_FALSE(options.faults.silent);
    EXPECT_EQ(19, options.faults.echoBytes);
    EXPECT_EQ(18, options.faults.corruptIndex);
    EXPECT_EQ(60000, options.faults.delayMs);
    EXPECT_EQ(150, options.faults.gapMs);
    EXPECT_EQ(10, options.faults.gapIndex);
    EXPECT_EQ(3, options.faults.extraBytes);
    EXPECT_EQ(19, options.dropAfter);
    EXPECT_EQ(2, options.maxFrames);
    EXPECT_EQ(9, options.maxSeconds);
}

TEST(SimOptions, WrongCommandLinesNameTheProblem) {
    const struct {
        std::vector<const char*> arguments;
        const char* expected;
    } cases[] = {
        {{"--verbose"}, "The following argument was not expected: --verbose"},
        {{"--corrupt", "19"}, "--corrupt: Value 19 not in range 0 to 18"},
        {{"--echo-bytes", "5x"}, "--echo-bytes: '5x' is not a plain decimal number"},
        {{"--echo-bytes", "+5"}, "--echo-bytes: '+5' is not a plain decimal number"},
        {{"--max-frames", "99999999999"}, "--max-frames: Value 99999999999 not in range"},
        {{"--log", "--json"}, "--log: '--json' is an option, not a path"},
        {{"--extra", "1", "--extra", "2"}, "--extra: At Most 1 required but received 2"},
        {{"--device", "/dev/ttyUSB0", "--link", "/tmp/com"}, "--device excludes --link"},
        {{"--gap-ms", "150"}, "--gap-ms requires --gap-at"},
        {{"--gap-at", "3"}, "--gap-at requires --gap-ms"},
        {{"--silent", "--echo-bytes", "5"}, "--silent excludes --echo-bytes"},
        {{"--extra", "2", "--silent"}, "--silent excludes --extra"},
        {{"--corrupt", "18", "--echo-bytes", "18"}, "--corrupt 18 is past the 18 bytes"},
    };
    for (const auto& wrong : cases) {
        const ParsedOptions parsed = Parse(wrong.arguments);
        EXPECT_FALSE(parsed.options) << wrong.expected;
        EXPECT_EQ(2, parsed.exitStatus);
        EXPECT_EQ(0u, parsed.output.find(std::string("vkd37-sim: ") + wrong.expected))
            << parsed.output;
    }
}

TEST(SimOptions, HelpAndVersionStopBeforeTheCombinationRules) {
    for (const char* flag : {"--help", "--version"}) {
        const ParsedOptions parsed = Parse({"--device", "/dev/ttyS0", "--link", "x", flag});
        EXPECT_FALSE(parsed.options);
        EXPECT_EQ(0, parsed.exitStatus);
        EXPECT_FALSE(parsed.output.empty());
    }
}
