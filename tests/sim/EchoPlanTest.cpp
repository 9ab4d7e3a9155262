#include <gtest/gtest.h>

#include <utility>

#include "sim/EchoPlan.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

UploadFrame CountingFrame() {
    UploadFrame frame;
    for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<std::uint8_t>(i + 1);
    }
    return frame;
}

const UploadFrame kFrame = CountingFrame();

// Bytes [from, to) of the echo, then `extra`.
Bytes Echo(std::size_t from, std::size_t to, const Bytes& extra = {}) {
    Bytes bytes(kFrame.begin() + from, kFrame.begin() + to);
    bytes.insert(bytes.end(), extra.begin(), extra.end());
    return bytes;
}

Bytes Corrupted(std::size_t index) {
    Bytes bytes = Echo(0, kFrame.size());
    bytes[index] ^= 0xFF;
    return bytes;
}

} // namespace

// Each fault, and faults together, as the bursts that go back: the pause before each and its bytes.
TEST(EchoPlan, EachFaultShapesTheBurstsSentBack) {
    const struct {
        const char* name;
        void (*fault)(FaultOptions&);
        std::vector<std::pair<int, Bytes>> bursts;
    } cases[] = {
        {"a clean echo is the frame at once", [](FaultOptions&) {}, {{0, Echo(0, 19)}}},
        {"silent sends nothing, extras and delay neither",
         [](FaultOptions& f) { f.silent = true, f.extraBytes = 3, f.delayMs = 50; },
         {}},
        {"a short echo", [](FaultOptions& f) { f.echoBytes = 5; }, {{0, Echo(0, 5)}}},
        {"no echo", [](FaultOptions& f) { f.echoBytes = 0; }, {}},
        {"the last byte corrupted",
         [](FaultOptions& f) { f.corruptIndex = 18; },
         {{0, Corrupted(18)}}},
        {"a byte that is not echoed cannot be corrupted",
         [](FaultOptions& f) { f.corruptIndex = 18, f.echoBytes = 10; },
         {{0, Echo(0, 10)}}},
        {"extras follow the echo",
         [](FaultOptions& f) { f.extraBytes = 3; },
         {{0, Echo(0, 19, {0xA5, 0x5A, 0xA5})}}},
        {"a delay and a gap split the echo",
         [](FaultOptions& f) { f.delayMs = 300, f.gapMs = 150, f.gapIndex = 10; },
         {{300, Echo(0, 10)}, {150, Echo(10, 19)}}},
        {"at byte 0 the gap adds to the delay",
         [](FaultOptions& f) { f.delayMs = 300, f.gapMs = 150, f.gapIndex = 0; },
         {{450, Echo(0, 19)}}},
        {"past the bytes sent there is nothing to hold back",
         [](FaultOptions& f) { f.delayMs = 300, f.gapMs = 150, f.gapIndex = 8, f.echoBytes = 5; },
         {{300, Echo(0, 5)}}},
        {"within the extras there is",
         [](FaultOptions& f) {
             f.delayMs = 300, f.gapMs = 150, f.gapIndex = 8, f.echoBytes = 5, f.extraBytes = 4;
         },
         {{300, Echo(0, 5, {0xA5, 0x5A, 0xA5})}, {150, {0x5A}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FaultOptions faults;
        c.fault(faults);
        const EchoPlan plan = PlanEcho(kFrame, faults);
        std::vector<std::pair<int, Bytes>> bursts;
        std::size_t count = 0;
        for (const EchoBurst& burst : plan.bursts) {
            bursts.emplace_back(burst.pauseMs, burst.bytes);
            count += burst.bytes.size();
        }
        EXPECT_EQ(c.bursts, bursts);
        EXPECT_EQ(count, plan.ByteCount());
    }
}
