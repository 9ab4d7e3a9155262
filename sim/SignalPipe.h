#pragma once

#include "platform/Handles.h"

// Turns SIGINT, SIGTERM and SIGHUP into a readable descriptor, so the main loop's poll sees
// them; the handler only writes one byte. One instance per process. SIGPIPE is ignored so a
// reader that went away shows up as a write error instead.
class SignalPipe {
public:
    SignalPipe();
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;
    ~SignalPipe();

    bool IsValid() const { return read_.IsValid(); }
    int Fd() const { return read_.get(); }

private:
    UniqueFd read_;
    UniqueFd write_;
};
