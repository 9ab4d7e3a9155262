#pragma once

#include <string>

#include "platform/IoFailure.h"

// Why a port could not be opened or set up. The port says what happened; each face words it.
enum class PortFault {
    kMissing,     // there is no such port (an adapter unplugged, a name of none)
    kBusy,        // another program holds it
    kNotSerial,   // a device or a file, but its line settings cannot be read or set
    kOwnTerminal, // the terminal this program runs in, whose settings are the operator's
    kOther,       // anything else; the cause gives the system's words
};

using PortFailure = IoFailure<PortFault>;

// "cannot open <name>: <the fault in words>". The system's words are kept as the cause; the
// text quotes them where the fault's own words leave them out: in brackets after "not a serial
// port", and as the whole reason of kOther.
PortFailure PortOpenFailure(PortFault fault, const std::string& name, std::string cause = {});
