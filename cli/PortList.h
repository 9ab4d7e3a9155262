#pragma once

#include <string>
#include <vector>

// A serial port present on this machine: the name to pass to --port and the device behind it.
struct PortEntry {
    std::string port;
    std::string device;
};

// On Linux the /dev/serial/by-id links and the ttyUSB, ttyACM and real ttyS devices; on Windows
// the ports listed under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM.
std::vector<PortEntry> ListSerialPorts();
