#pragma once

#include <chrono>
#include <cstddef>
#include <optional>

#include "link/EchoRule.h"
#include "link/UploadFrame.h"

// Collects received bytes into frames. A partial frame whose bytes are more than the gap limit
// apart is thrown away, which is how the simulator finds the next frame start again.
class FrameAssembler {
public:
    using Clock = std::chrono::steady_clock;
    // The read of the program under test gives up after the same pause.
    static constexpr std::chrono::milliseconds kGapLimit{LineTiming::kIntervalMs};

    // dropAfter: once, after that many bytes of a frame, report kDropLine instead of going on;
    // with dropEveryOther, again on the frame after each one completed.
    explicit FrameAssembler(std::optional<int> dropAfter = std::nullopt,
                            bool dropEveryOther = false)
        : dropAfter_(dropAfter), rearmDrop_(dropEveryOther ? dropAfter : std::nullopt) {}

    enum class Outcome { kPending, kFrame, kDropLine };
    struct FeedResult {
        Outcome outcome = Outcome::kPending;
        std::size_t discarded = 0; // bytes of a stale partial frame thrown away first
    };

    FeedResult Feed(std::uint8_t byte, Clock::time_point now);

    // Throws away a partial frame that has gone stale by now; returns how many bytes it held.
    std::size_t Expire(Clock::time_point now);

    // When the partial frame goes stale, if there is one.
    std::optional<Clock::time_point> Deadline() const;

    // The frame just completed by Feed.
    const UploadFrame& Frame() const { return frame_; }

private:
    UploadFrame frame_{};
    std::size_t count_ = 0;
    Clock::time_point lastByte_{};
    std::optional<int> dropAfter_;
    std::optional<int> rearmDrop_;
};
