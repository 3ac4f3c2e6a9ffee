#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

// COM port number -> device path or device-server URL (the settings file's section "Ports").
using TPortMap = std::map<std::int32_t, std::string>;

// The port number of a port name "COM<n>" (any case, n from 1 to 2147483647 in decimal digits,
// leading zeros allowed), or 0 when the text is no such name. The one reader of port names: the
// settings file's keys, the command line's --port and the Windows device names go through it.
std::int32_t ComPortNumber(std::string_view text);

// The device path that COM n opens. On Windows it is "\\.\COM<n>" unless the map names a device
// server (rfc2217:// or socket://) for it. On POSIX systems COM n is /dev/ttyS(n-1) unless the
// map names another device for it.
std::string PortDevicePath(std::int32_t port, const TPortMap& map = {});

// The COM n whose device is the given path: a port of the map first, then the platform's own
// naming (/dev/ttyS(n-1) when no map entry takes that port, "\\.\COM<n>" or "COM<n>" on
// Windows). 0 when no port number names the device.
std::int32_t PortNumberOfDevice(const std::string& device, const TPortMap& map = {});
