#include "sim/EchoPlan.h"

#include <algorithm>
#include <utility>

std::size_t EchoPlan::ByteCount() const {
    std::size_t count = 0;
    for (const EchoBurst& burst : bursts) {
        count += burst.bytes.size();
    }
    return count;
}

std::uint8_t ExtraByte(std::size_t index) {
    return index % 2 == 0 ? 0xA5 : 0x5A;
}

EchoPlan PlanEcho(const UploadFrame& frame, const FaultOptions& faults) {
    EchoPlan plan;
    if (faults.silent) {
        return plan;
    }
    const std::size_t echoCount =
        std::min(frame.size(), static_cast<std::size_t>(std::max(faults.echoBytes, 0)));
    std::vector<std::uint8_t> bytes(frame.begin(), frame.begin() + echoCount);
    if (faults.corruptIndex && static_cast<std::size_t>(*faults.corruptIndex) < bytes.size()) {
        bytes[*faults.corruptIndex] ^= 0xFF;
    }
    for (int i = 0; i < faults.extraBytes; ++i) {
        bytes.push_back(ExtraByte(static_cast<std::size_t>(i)));
    }
    if (bytes.empty()) {
        return plan;
    }

    // A gap at index 0 merges into the initial delay; past the end it has nothing to delay.
    const std::size_t split =
        faults.gapIndex ? static_cast<std::size_t>(*faults.gapIndex) : bytes.size();
    if (split == 0) {
        plan.bursts.push_back({faults.delayMs + faults.gapMs, std::move(bytes)});
    } else if (split >= bytes.size()) {
        plan.bursts.push_back({faults.delayMs, std::move(bytes)});
    } else {
        plan.bursts.push_back({faults.delayMs, {bytes.begin(), bytes.begin() + split}});
        plan.bursts.push_back({faults.gapMs, {bytes.begin() + split, bytes.end()}});
    }
    return plan;
}
