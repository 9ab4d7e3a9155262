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

namespace {

// A port that is not open loses the line at once.
TimedEcho TimedExchange(SerialPort& port, const UploadFrame& frame) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const EchoResult result =
        port.IsOpen() ? port.Exchange(frame) : EchoResult{EchoOutcome::kLineLost, 0};
    return {result,
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count()};
}

} // namespace

std::optional<TimedEcho> NextAttempt(SerialPort& port, const std::string& name,
                                     const UploadFrame& frame, bool awaitQuiet) {
    // An adapter unplugged between two controllers hangs its line up without a word.
    if (!port.IsOpen() || !port.IsAlive()) {
        port.Close();
        port = ReopenPort(name);
    }
    if (CaughtStopSignal()) {
        return std::nullopt;
    }
    // Answers typed ahead must not beat the last controller's bytes after its echo.
    if (awaitQuiet && port.IsOpen()) {
        port.AwaitQuietLine();
    }
    const TimedEcho attempt = TimedExchange(port, frame);
    // A confirmed echo is known, and kept as usual whatever signal came meanwhile.
    if (CaughtStopSignal() && attempt.result.outcome != EchoOutcome::kConfirmed) {
        return std::nullopt;
    }
    if (attempt.result.outcome == EchoOutcome::kLineLost) {
        port.Close();
    }
    return attempt;
}
