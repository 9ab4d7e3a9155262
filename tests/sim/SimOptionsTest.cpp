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
                                        "--silent",
                                        "--echo-bytes",
                                        "0",
                                        "--corrupt",
                                        "18",
                                        "--delay-ms",
                                        "60000",
                                        "--gap-ms=150",
                                        "--gap-at",
                                        "10",
                                        "--extra",
                                        "3",
                                        "--drop-after",
                                        "19",
                                        "--max-frames",
                                        "2",
                                        "--max-seconds",
                                        "30"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    const SimOptions& options = *parsed.options;
    EXPECT_EQ("/tmp/com", options.linkPath);
    EXPECT_EQ("/tmp/log", options.logPath);
    EXPECT_TRUE(options.json);
    EXPECT_FALSE(options.pace);
    EXPECT_TRUE(options.faults.silent);
    EXPECT_EQ(0, options.faults.echoBytes);
    EXPECT_EQ(18, options.faults.corruptIndex);
    EXPECT_EQ(60000, options.faults.delayMs);
    EXPECT_EQ(150, options.faults.gapMs);
    EXPECT_EQ(10, options.faults.gapIndex);
    EXPECT_EQ(3, options.faults.extraBytes);
    EXPECT_EQ(19, options.dropAfter);
    EXPECT_EQ(2, options.maxFrames);
    EXPECT_EQ(30, options.maxSeconds);
}

TEST(SimOptions, WrongCommandLinesNameTheProblem) {
    const struct {
        std::vector<const char*> arguments;
        const char* expected;
    } cases[] = {
        {{"--verbose"}, "unknown option '--verbose'"},
        {{"--corrupt"}, "--corrupt needs a value (0-18)"},
        {{"--corrupt", "19"}, "--corrupt: bad value '19' (expected 0-18)"},
        {{"--echo-bytes", "20"}, "--echo-bytes: bad value '20' (expected 0-19)"},
        {{"--echo-bytes", "5x"}, "--echo-bytes: bad value '5x' (expected 0-19)"},
        {{"--echo-bytes", "-1"}, "--echo-bytes: bad value '-1' (expected 0-19)"},
        {{"--echo-bytes", "+5"}, "--echo-bytes: bad value '+5' (expected 0-19)"},
        {{"--echo-bytes="}, "--echo-bytes: bad value '' (expected 0-19)"},
        {{"--drop-after", "0"}, "--drop-after: bad value '0' (expected 1-19)"},
        {{"--max-frames", "99999999999"},
         "--max-frames: bad value '99999999999' (expected a whole number >= 1)"},
        {{"--delay-ms", "60001"}, "--delay-ms: bad value '60001' (expected 0-60000)"},
        {{"--log", ""}, "--log: bad value '' (expected a path)"},
        {{"--json=1"}, "--json takes no value"},
        {{"--extra", "1", "--extra", "2"}, "--extra given twice"},
        {{"--device", "/dev/ttyUSB0", "--link", "/tmp/com"},
         "--device and --link cannot be combined"},
        {{"--gap-ms", "150"}, "--gap-ms and --gap-at go together"},
        {{"--gap-at", "3"}, "--gap-ms and --gap-at go together"},
    };
    for (const auto& wrong : cases) {
        const ParsedOptions parsed = Parse(wrong.arguments);
        EXPECT_FALSE(parsed.options) << wrong.expected;
        EXPECT_EQ(wrong.expected, parsed.error);
    }
}

TEST(SimOptions, HelpWinsOverCombinationRules) {
    const ParsedOptions parsed = Parse({"--device", "/dev/ttyS0", "--link", "x", "--help"});
    ASSERT_TRUE(parsed.options);
    EXPECT_TRUE(parsed.options->help);
}
