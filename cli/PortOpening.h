#pragma once

#include <optional>
#include <string>

#include "link/SerialPort.h"

// The port of an upload, open; CommandError (exit status 3) when it cannot be opened.
SerialPort OpenPort(const std::string& name);

// After a lost line the adapter was unplugged, or the next controller's plugged in: its device
// comes back under the same name. An invalid port when it has not come back in time, or when a
// stop signal came first.
SerialPort ReopenPort(const std::string& name);

// One exchange and how long it took.
struct TimedEcho {
    EchoResult result;
    long long ms = 0;
};

// One controller's attempt on a port kept from one controller to the next: an adapter that went
// away is opened anew first, the last controller's line let fall quiet (awaitQuiet), then the
// exchange; a port whose line was lost is closed, to be opened anew next time. Nothing when a
// stop signal came first, or cut the exchange short, so that what the controller got is unknown.
std::optional<TimedEcho> NextAttempt(SerialPort& port, const std::string& name,
                                     const UploadFrame& frame, bool awaitQuiet);
