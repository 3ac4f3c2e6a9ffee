#pragma once

#include <string>
#include <vector>

// A serial port the system offers.
struct TSerialPortInfo {
    std::string Device;  // the path to open: /dev/ttyUSB0, /dev/serial/by-id/..., \\.\COM3
    std::string LeadsTo; // for a link (/dev/serial/by-id/...): the device it leads to
    std::string Driver;  // Windows: the driver's device name (\Device\Serial0); else empty
};

// The serial ports present, sorted by device path. Linux: /dev/ttyS* with a UART behind them,
// /dev/ttyUSB*, /dev/ttyACM* and the links of /dev/serial/by-id. Windows: the ports of the
// registry key HARDWARE\DEVICEMAP\SERIALCOMM. Nothing found is an empty list, never a failure.
std::vector<TSerialPortInfo> ListSerialPorts();
