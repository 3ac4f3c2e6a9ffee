#pragma once

#include <cstdint>
#include <map>
#include <string>

// Maps a COM port number to the device path that the channel opens. On Windows it is
// "\\.\COM<n>" unless the port map names a device server (rfc2217:// or socket://) for it. On
// POSIX systems COM n is /dev/ttyS(n-1) unless the port map (the settings file's section
// "Ports") names another device for it.
std::string PortDevicePath(std::int32_t port);

// Replaces the port map (on Windows only its device servers count).
void SetPortMap(std::map<std::int32_t, std::string> map);

// The port map as set (empty on Windows).
std::map<std::int32_t, std::string> PortMapEntries();

// The COM n whose device is the given path: a port of the map first, then the platform's own
// naming (/dev/ttyS(n-1) when no map entry takes that port, "\\.\COM<n>" or "COM<n>" on
// Windows). 0 when no port number names the device.
std::int32_t PortNumberOfDevice(const std::string& device);
