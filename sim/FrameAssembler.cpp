#include "sim/FrameAssembler.h"

FrameAssembler::FeedResult FrameAssembler::Feed(std::uint8_t byte, Clock::time_point now) {
    FeedResult result;
    result.discarded = Expire(now);
    frame_[count_++] = byte;
    lastByte_ = now;
    if (dropAfter_ && count_ == static_cast<std::size_t>(*dropAfter_)) {
        dropAfter_.reset();
        count_ = 0;
        result.outcome = Outcome::kDropLine;
    } else if (count_ == frame_.size()) {
        count_ = 0;
        result.outcome = Outcome::kFrame;
        dropAfter_ = dropAfter_ ? dropAfter_ : rearmDrop_;
    }
    return result;
}

std::size_t FrameAssembler::Expire(Clock::time_point now) {
    if (count_ == 0 || now - lastByte_ <= kGapLimit) {
        return 0;
    }
    const std::size_t discarded = count_;
    count_ = 0;
    return discarded;
}

std::optional<FrameAssembler::Clock::time_point> FrameAssembler::Deadline() const {
    if (count_ == 0) {
        return std::nullopt;
    }
    return lastByte_ + kGapLimit + Clock::duration(1); // the first instant Expire discards
}
