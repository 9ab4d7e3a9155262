#include "link/PortFailure.h"

#include <utility>

namespace {

std::string Words(PortFault fault, const std::string& cause) {
    switch (fault) {
    case PortFault::kMissing:
        return "no such port";
    case PortFault::kBusy:
        return "held by another program";
    case PortFault::kNotSerial:
        return cause.empty() ? "not a serial port" : "not a serial port (" + cause + ")";
    case PortFault::kOwnTerminal:
        return "the terminal this program runs in, not a controller's port";
    case PortFault::kOther:
        break;
    }
    return cause;
}

} // namespace

PortFailure PortOpenFailure(PortFault fault, const std::string& name, std::string cause) {
    std::string text = CannotText("open", name, Words(fault, cause));
    return {fault, std::move(text), std::move(cause)};
}
