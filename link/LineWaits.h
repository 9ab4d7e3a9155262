#pragma once

#include <cstddef>
#include <functional>
#include <optional>

#include "platform/Deadline.h"

// The waits of the serial line, each bounded by a Deadline, apart from the port so that tests run
// them on a clock of their own.

// The bounds of one read of an echo as Windows' read time-outs set them: the read ends at the
// total time-out for its bytes, and, once a byte has come, when more than the interval passes
// before the next. The POSIX exchange waits in poll for what Remaining() gives.
class EchoReadBounds {
public:
    explicit EchoReadBounds(std::size_t bytes, const WaitClock& clock = SystemWaitClock());

    void ByteArrived();
    // How long the wait for the next byte may last; zero once the read is over.
    Deadline::Ms Remaining() const;

private:
    const WaitClock& clock_;
    Deadline total_;
    std::optional<Deadline> interval_;
};

// The bound of one write attempt of `bytes` bytes, the same as the read's total time-out.
Deadline WriteBound(std::size_t bytes, const WaitClock& clock = SystemWaitClock());

// How many received bytes wait to be read; nothing when the port cannot tell.
using QueuedCount = std::function<std::optional<std::size_t>()>;

// Waits, bounded, until the line has fallen quiet: until the last exchange's controller has had
// the time an echo may take to answer it, and no byte has arrived for as long as an echo may
// pause. What it sent after its echo is then queued, where the next exchange discards it, not
// still on its way to be read as that exchange's answer. kDone once quiet, or at once when the
// port cannot tell; kTimeUp when the line still talked an echo's time after the answer was due.
WaitEnd AwaitQuietLine(const QueuedCount& queued,
                       std::optional<WaitClock::Clock::time_point> lastExchange,
                       std::function<bool()> keepWaiting,
                       const WaitClock& clock = SystemWaitClock());
