#include "sim/Simulator.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <string>

#include <poll.h>
#include <unistd.h>

#include "console/FrameOutput.h"
#include "link/EchoRule.h"
#include "platform/StopSignals.h"
#include "platform/SystemError.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::seconds kWriteStallLimit{2};
constexpr std::chrono::seconds kDrainLimit{1};
constexpr std::chrono::milliseconds kDrainPoll{10};
constexpr std::chrono::milliseconds kDeliveredSettle{100};

void Note(const std::string& text) {
    std::fprintf(stderr, "vkd37-sim: %s\n", text.c_str());
    std::fflush(stderr);
}

void PrintStdoutLine(const std::string& text) {
    std::fprintf(stdout, "%s\n", text.c_str());
    std::fflush(stdout);
}

} // namespace

Simulator::Simulator(const SimOptions& options)
    : options_(options), assembler_(options.dropAfter, options.dropEveryOther) {}

bool Simulator::OpenLine() {
    std::string error;
    line_ = options_.devicePath.empty() ? SerialLine::CreatePseudoTerminal(error)
                                        : SerialLine::OpenDevice(options_.devicePath, error);
    if (!line_.IsValid()) {
        Note(error);
        return false;
    }
    PrintStdoutLine("port: " + line_.Path());
    if (link_ && !link_->PointAt(line_.Path(), error)) {
        Note(error);
        return false;
    }
    return true;
}

// Closes the line first, so the program on the other end sees it go away, then opens a new one.
bool Simulator::ReopenLine() {
    output_.clear();
    outputFree_ = {};
    writeBlockedSince_.reset();
    line_ = SerialLine();
    return OpenLine();
}

int Simulator::Run() {
    if (!CatchStopSignals()) {
        Note("cannot set up signal handling: " + SystemErrorText(errno));
        return 1;
    }
    if (!options_.logPath.empty()) {
        log_ = OpenStdioFile(options_.logPath.c_str(), "ae");
        if (!log_.IsValid()) {
            Note("cannot open " + options_.logPath + ": " + SystemErrorText(errno));
            return 1;
        }
    }
    if (!options_.linkPath.empty()) {
        link_.emplace(options_.linkPath);
    }
    if (!OpenLine()) {
        return 1;
    }
    if (options_.maxSeconds) {
        stopAt_ = Clock::now() + std::chrono::seconds(*options_.maxSeconds);
    }
    // Told once the link is there; with --json standard output holds only port lines and frames.
    if (link_ && options_.json) {
        Note("link: " + link_->Path());
    } else if (link_) {
        PrintStdoutLine("link: " + link_->Path());
    }

    for (;;) {
        const Clock::time_point now = Clock::now();
        if (stopAt_ && now >= stopAt_) {
            return 0;
        }
        if (const std::size_t stale = assembler_.Expire(now)) {
            Note("discarded a partial frame of " + std::to_string(stale) +
                 " bytes (more than 100 ms between two bytes)");
        }
        const Step written = WriteDue(now);
        if (written != Step::kContinue) {
            return written == Step::kFailed ? 1 : 0;
        }

        pollfd watched[2] = {{StopSignalFd(), POLLIN, 0}, {line_.Fd(), 0, 0}};
        if (!ShouldStopReading()) {
            watched[1].events |= POLLIN;
        }
        if (writeBlockedSince_) {
            watched[1].events |= POLLOUT;
        }
        timespec timeout{};
        timespec* timeoutPointer = nullptr;
        if (const std::optional<Clock::time_point> wakeUp = NextWakeUp()) {
            const auto wait = std::max(Clock::duration::zero(), *wakeUp - Clock::now());
            const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(wait);
            timeout.tv_sec = static_cast<std::time_t>(nanoseconds.count() / 1000000000);
            timeout.tv_nsec = static_cast<long>(nanoseconds.count() % 1000000000);
            timeoutPointer = &timeout;
        }
        if (::ppoll(watched, 2, timeoutPointer, nullptr) < 0) {
            if (errno == EINTR) {
                continue;
            }
            Note("poll failed: " + SystemErrorText(errno));
            return 1;
        }
        if (watched[0].revents != 0) {
            return 0; // a stop signal: SIGINT, SIGTERM, SIGHUP, SIGQUIT, ...
        }
        if (watched[1].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            Note("the line " + line_.Path() + " failed or hung up");
            return 1;
        }
        if (watched[1].revents & POLLIN) {
            if (ReadInput(Clock::now()) == Step::kFailed) {
                return 1;
            }
        }
    }
}

bool Simulator::ShouldStopReading() const {
    return options_.maxFrames && frames_ >= static_cast<unsigned>(*options_.maxFrames);
}

std::optional<Simulator::Clock::time_point> Simulator::NextWakeUp() const {
    std::optional<Clock::time_point> earliest = stopAt_;
    const auto consider = [&earliest](std::optional<Clock::time_point> candidate) {
        if (candidate && (!earliest || *candidate < *earliest)) {
            earliest = candidate;
        }
    };
    consider(assembler_.Deadline());
    if (writeBlockedSince_) {
        consider(*writeBlockedSince_ + kWriteStallLimit);
    } else if (!output_.empty()) {
        consider(output_.front().due);
    } else if (ShouldStopReading()) {
        consider(Clock::now() + kDrainPoll);
    }
    return earliest;
}

Simulator::Step Simulator::ReadInput(Clock::time_point now) {
    std::uint8_t buffer[512];
    const ssize_t received = ::read(line_.Fd(), buffer, sizeof buffer);
    if (received < 0) {
        if (IsTransient(errno)) {
            return Step::kContinue;
        }
        Note("reading " + line_.Path() + " failed: " + SystemErrorText(errno));
        return Step::kFailed;
    }
    for (ssize_t i = 0; i < received && !ShouldStopReading(); ++i) {
        const FrameAssembler::FeedResult fed = assembler_.Feed(buffer[i], now);
        if (fed.discarded != 0) {
            Note("discarded a partial frame of " + std::to_string(fed.discarded) +
                 " bytes (more than 100 ms between two bytes)");
        }
        if (fed.outcome == FrameAssembler::Outcome::kDropLine) {
            Note("dropping the line after " + std::to_string(*options_.dropAfter) +
                 " bytes of a frame");
            return ReopenLine() ? Step::kContinue : Step::kFailed;
        }
        if (fed.outcome == FrameAssembler::Outcome::kFrame) {
            ++frames_;
            const EchoPlan plan = PlanEcho(assembler_.Frame(), options_.faults);
            ReportFrame(assembler_.Frame(), plan.ByteCount());
            ScheduleEcho(plan, now);
        }
    }
    return Step::kContinue;
}

void Simulator::ReportFrame(const UploadFrame& frame, std::size_t echoCount) {
    const DecodedFrame decoded = DecodeFrame(frame);
    const std::string text =
        options_.json ? JsonLine(frames_, decoded, echoCount) : HumanLine(frames_, decoded);
    if (log_.IsValid()) {
        std::fprintf(log_.get(), "%s\n", text.c_str());
        std::fflush(log_.get());
    } else {
        PrintStdoutLine(text);
    }
}

// Deadlines are absolute, so the time spent waking up never adds up along a frame.
void Simulator::ScheduleEcho(const EchoPlan& plan, Clock::time_point now) {
    Clock::time_point start = std::max(now, outputFree_);
    for (const EchoBurst& burst : plan.bursts) {
        start += std::chrono::milliseconds(burst.pauseMs);
        for (std::size_t i = 0; i < burst.bytes.size(); ++i) {
            output_.push_back(
                {options_.pace ? start + LineTiming::WireTime(i) : start, burst.bytes[i]});
        }
        start += options_.pace ? LineTiming::WireTime(burst.bytes.size()) : Clock::duration::zero();
    }
    outputFree_ = start;
}

Simulator::Step Simulator::WriteDue(Clock::time_point now) {
    if (output_.empty()) {
        if (!ShouldStopReading()) {
            return Step::kContinue;
        }
        // The last frame's answer is written; let the other side take it before closing, as
        // closing a pseudo-terminal's end drops what the other end has not read. Bytes still on
        // their way between its ends are not counted as waiting, so the count must stay at
        // nothing for a while.
        if (!drainUntil_) {
            drainUntil_ = now + kDrainLimit;
        }
        if (line_.UndeliveredBytes() != 0) {
            deliveredSince_.reset();
        } else if (!deliveredSince_) {
            deliveredSince_ = now;
        }
        const bool delivered = deliveredSince_ && now - *deliveredSince_ >= kDeliveredSettle;
        return delivered || now >= *drainUntil_ ? Step::kFinished : Step::kContinue;
    }
    std::uint8_t due[512];
    std::size_t count = 0;
    while (count < output_.size() && count < sizeof due && output_[count].due <= now) {
        due[count] = output_[count].value;
        ++count;
    }
    if (count == 0) {
        return Step::kContinue;
    }
    const ssize_t written = ::write(line_.Fd(), due, count);
    if (written < 0) {
        if (!IsTransient(errno)) {
            Note("writing " + line_.Path() + " failed: " + SystemErrorText(errno));
            return Step::kFailed;
        }
        if (!writeBlockedSince_) {
            writeBlockedSince_ = now;
        } else if (now - *writeBlockedSince_ >= kWriteStallLimit) {
            Note("nobody reads the line; discarding " + std::to_string(output_.size()) +
                 " unsent bytes");
            output_.clear();
            writeBlockedSince_.reset();
        }
        return Step::kContinue;
    }
    writeBlockedSince_.reset();
    output_.erase(output_.begin(), output_.begin() + written);
    return Step::kContinue;
}
