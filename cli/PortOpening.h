#pragma once

#include <string>

#include "link/SerialPort.h"

// The port of an upload, open; CommandError (exit status 3) when it cannot be opened.
SerialPort OpenPort(const std::string& name);

// After a lost line the adapter was unplugged, or the next controller's plugged in: its device
// comes back under the same name. An invalid port when it has not come back in time, or when a
// stop signal came first.
SerialPort ReopenPort(const std::string& name);

// One exchange and how long it took; a port that is not open loses the line at once.
struct TimedEcho {
    EchoResult result;
    long long ms = 0;
};
TimedEcho TimedExchange(SerialPort& port, const UploadFrame& frame);
