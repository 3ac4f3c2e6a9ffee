#pragma once

#include <cstdint>
#include <optional>
#include <string>

// A serial port behind a device server on the network, named as serial tools name it:
// "rfc2217://host:port" (Telnet with COM-PORT-OPTION: the program sets the line) or
// "socket://host:port" (raw TCP: bytes only, the line is set on the server). A host may be a
// name, an IPv4 address or an IPv6 address in brackets.
struct TNetworkDevice {
    enum class TKind { Rfc2217, Raw };
    TKind Kind = TKind::Raw;
    std::string Host;
    std::uint16_t Port = 0;
};

// Whether the device name has one of the two network schemes (well formed or not).
bool IsNetworkDevice(const std::string& device);

// The parts of a network device name; nullopt when it is not one or is malformed.
std::optional<TNetworkDevice> ParseNetworkDevice(const std::string& device);
