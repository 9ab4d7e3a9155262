#include "cli/PortOpening.h"

#include <chrono>
#include <thread>

#include "cli/ExitStatus.h"
#include "cli/Output.h"
#include "platform/StopSignals.h"

SerialPort OpenPort(const std::string& name) {
    SerialPort port;
    if (const PortError error = port.Open(name)) {
        throw CommandError(kExitPortUnavailable, *error);
    }
    return port;
}

SerialPort ReopenPort(const std::string& name) {
    using Clock = std::chrono::steady_clock;
    constexpr std::chrono::seconds kComeBackLimit{10};
    constexpr std::chrono::milliseconds kRetryPause{200};
    Complain("the line was lost; waiting up to " + std::to_string(kComeBackLimit.count()) +
             " s for " + name + " to come back");
    const Clock::time_point deadline = Clock::now() + kComeBackLimit;
    for (;;) {
        SerialPort port;
        const PortError error = port.Open(name);
        if (!error) {
            Complain("reopened " + name);
            return port;
        }
        if (Clock::now() >= deadline) {
            Complain(*error);
            return port;
        }
        std::this_thread::sleep_for(kRetryPause);
        if (CaughtStopSignal()) {
            return port;
        }
    }
}
