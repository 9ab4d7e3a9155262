#include "platform/Pause.h"

#include <time.h>

void PauseFor(std::chrono::milliseconds pause) {
    const long long ms = pause.count() > 0 ? pause.count() : 0;
    const timespec span{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    ::nanosleep(&span, nullptr);
}
