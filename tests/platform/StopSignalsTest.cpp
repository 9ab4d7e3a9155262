#ifndef _WIN32
#include <gtest/gtest.h>

#include <csignal>

#include "platform/StopSignals.h"

// The first stop signal is the one the program reports, whichever come after it; the highest
// real-time signal is one of them.
TEST(StopSignals, TheFirstOneCaughtStaysTheOneReported) {
    ASSERT_TRUE(CatchStopSignals());
    ASSERT_EQ(0, CaughtStopSignal());
    ::raise(SIGRTMAX);
    ::raise(SIGTERM);
    EXPECT_EQ(SIGRTMAX, CaughtStopSignal());
    EXPECT_EQ("SIGRTMIN+" + std::to_string(SIGRTMAX - SIGRTMIN), StopSignalName(SIGRTMAX));
}
#endif
