#pragma once

#include <chrono>

// The system's pause of the calling thread. On POSIX a signal cuts it short (nothing restarts
// it), so that a caught stop signal is seen at once; on Windows it lasts at least one tick of the
// system's clock, 15.6 ms unless a program asked for finer.
void PauseFor(std::chrono::milliseconds pause);
