#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <optional>

#include "platform/Handles.h"

#include "sim/FrameAssembler.h"
#include "sim/SerialLine.h"
#include "sim/SimOptions.h"
#include "sim/SymbolicLink.h"

// The simulated controller: one poll loop that reads frames, reports them and sends the
// answers at their scheduled times, until a limit, a signal or a line failure ends it.
class Simulator {
public:
    explicit Simulator(const SimOptions& options);
    int Run(); // the process exit status

private:
    using Clock = std::chrono::steady_clock;
    struct ScheduledByte {
        Clock::time_point due;
        std::uint8_t value;
    };
    enum class Step { kContinue, kFinished, kFailed };

    bool OpenLine();
    bool ReopenLine();
    Step ReadInput(Clock::time_point now);
    void ReportFrame(const UploadFrame& frame, std::size_t echoCount);
    void ScheduleEcho(const EchoPlan& plan, Clock::time_point now);
    Step WriteDue(Clock::time_point now);
    std::optional<Clock::time_point> NextWakeUp() const;
    bool ShouldStopReading() const;

    const SimOptions& options_;
    SerialLine line_;
    std::optional<SymbolicLink> link_;
    StdioFile log_;
    FrameAssembler assembler_;
    std::deque<ScheduledByte> output_;
    Clock::time_point outputFree_{}; // when the line is done with what is already scheduled
    std::optional<Clock::time_point> writeBlockedSince_;
    std::optional<Clock::time_point> stopAt_;
    std::optional<Clock::time_point> drainUntil_;
    std::optional<Clock::time_point> deliveredSince_; // since when nothing waited to be read
    unsigned frames_ = 0;
};
