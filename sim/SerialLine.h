#pragma once

#include <cstddef>
#include <string>

#include "link/SerialPort.h"
#include "platform/Handles.h"

// The simulator's end of the serial line: the master of a pseudo-terminal it created, or an
// existing serial device. Either way the descriptor is non-blocking and set to raw 9600 8N1.
class SerialLine {
public:
    // Both return an invalid line and fill error on failure.
    static SerialLine CreatePseudoTerminal(std::string& error);
    static SerialLine OpenDevice(const std::string& path, std::string& error);

    bool IsValid() const { return io_.IsValid(); }
    int Fd() const { return io_.get(); }

    // Where the program under test opens the line.
    const std::string& Path() const { return path_; }
    bool IsPseudoTerminal() const { return slave_.IsValid(); }

    // Bytes written by us that the other side has not taken yet, or 0 when that is unknown.
    std::size_t UndeliveredBytes() const;

private:
    // A device of ours is exclusive; a pseudo-terminal master never is, and clearing the flag
    // on it does no harm.
    PortHandle io_;
    // Held open so the master does not report EIO while the program has the slave closed.
    UniqueFd slave_;
    std::string path_;
};
