// What the driver says when the program's window does not come: a start the system refused, a
// program that ended first (with its exit code) and one still running without its window are told
// apart, so that a failed start in any test says which it was.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "OperatorDriver.h"
#include "Scratch.h"
#include "cli/ExitStatus.h"
#include "platform/Text.h"

namespace {

TEST(StartOutcome, SaysWhyTheWindowDidNotCome) {
    const ScratchFolder scratch("vkd37-e2e-start");
    const std::wstring dir = scratch.Path().wstring();
    const struct {
        const char* what;
        std::wstring program;
        DWORD timeoutMs;
        StartFault fault;
        std::string cause; // part of the failure's cause
    } cases[] = {
        {"no such program", dir + L"\\missing.exe", kOutcomeTimeoutMs, StartFault::kNotStarted,
         "(error " + std::to_string(ERROR_FILE_NOT_FOUND) + ")"},
        // The tool without a command refuses it, on stderr, and ends.
        {"a program without a window", Wide(VKD_TOOL_PATH), kOutcomeTimeoutMs, StartFault::kEnded,
         "with exit code " + std::to_string(kExitUsage)},
        {"no time to wait", Wide(VKD_PROGRAM_PATH), 0, StartFault::kOther, "did not appear"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const StartOutcome started = OperatorDriver::Start(c.program, dir, c.timeoutMs);
        ASSERT_FALSE(started);
        EXPECT_EQ(c.fault, started.failure.fault) << started.failure.text;
        EXPECT_NE(std::string::npos, started.failure.cause.find(c.cause)) << started.failure.text;
        EXPECT_EQ(0u, started.failure.text.find("cannot start " + Utf8(c.program) + ": "))
            << started.failure.text;
    }
}

} // namespace
