#include "link/SerialPort.h"

#include "link/LineWaits.h"
#include "platform/StopSignals.h"

void SerialPort::AwaitQuietLine() const {
    ::AwaitQuietLine([this] { return QueuedInput(handle_.get()); }, lastExchange_,
                     [] { return CaughtStopSignal() == 0; });
}
