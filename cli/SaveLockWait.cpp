#include "cli/SaveLockWait.h"

#include <chrono>
#include <optional>

#include "cli/Output.h"
#include "platform/StopSignals.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kSayWaitAfter{500};

} // namespace

LockWait SaveLockWait(const std::string& file) {
    return {kSaveLockWaitMs,
            [file, since = std::optional<Clock::time_point>(), told = false]() mutable {
                since = since.value_or(Clock::now());
                if (!told && Clock::now() - *since >= kSayWaitAfter) {
                    Complain(file + ": another program holds the file; waiting up to " +
                             std::to_string(kSaveLockWaitMs / 1000) + " s for it");
                    told = true;
                }
                return CaughtStopSignal() == 0;
            }};
}
