#include "cli/PortOpening.h"

#include <chrono>
#include <optional>

#include "cli/ExitStatus.h"
#include "cli/Output.h"
#include "platform/Deadline.h"
#include "platform/StopSignals.h"

SerialPort OpenPort(const std::string& name) {
    SerialPort port;
    if (const std::optional<PortFailure> failure = port.Open(name)) {
        throw CommandError(kExitPortUnavailable, failure->text);
    }
    return port;
}

SerialPort ReopenPort(const std::string& name) {
    constexpr std::chrono::seconds kComeBackLimit{10};
    constexpr std::chrono::milliseconds kRetryPause{200};
    Complain("the line was lost; waiting up to " + std::to_string(kComeBackLimit.count()) +
             " s for " + name + " to come back");
    SerialPort port;
    std::optional<PortFailure> failure;
    Deadline comeBack(kComeBackLimit, kRetryPause, [] { return CaughtStopSignal() == 0; });
    switch (comeBack.Until([&] { return !(failure = port.Open(name)); })) {
    case WaitEnd::kDone:
        Complain("reopened " + name);
        break;
    case WaitEnd::kTimeUp:
        Complain(failure->text);
        break;
    case WaitEnd::kStopped:
        break;
    }
    return port;
}

TimedEcho TimedExchange(SerialPort& port, const UploadFrame& frame) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const EchoResult result =
        port.IsOpen() ? port.Exchange(frame) : EchoResult{EchoOutcome::kLineLost, 0};
    return {result,
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count()};
}
