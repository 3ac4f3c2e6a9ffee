#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Connecting to a device server, its Telnet negotiation included, is bounded by this unless the
// name says otherwise ("?timeout=MS"): a mobile link may take a second per round trip, and a
// server that serves one client at a time may take the next one only seconds later.
constexpr std::uint32_t DefaultNetworkTimeoutMs = 5000;
constexpr std::uint32_t MaxNetworkTimeoutMs = 600000;

// A serial port behind a device server on the network, named as serial tools name it:
// "rfc2217://host:port" (Telnet with COM-PORT-OPTION: the program sets the line) or
// "socket://host:port" (raw TCP: bytes only, the line is set on the server), optionally with
// "?timeout=MS" for the network's time bound. A host may be a name, an IPv4 address or an IPv6
// address in brackets.
struct TNetworkDevice {
    enum class TKind { Rfc2217, Raw };
    TKind Kind = TKind::Raw;
    std::string Host;
    std::uint16_t Port = 0;
    std::uint32_t TimeoutMs = DefaultNetworkTimeoutMs;
};

// Whether the device name has one of the two network schemes (well formed or not).
bool IsNetworkDevice(const std::string& device);

// The parts of a network device name; nullopt when it is not one or is malformed, with what is
// wrong in `problem` when given.
std::optional<TNetworkDevice> ParseNetworkDevice(const std::string& device,
                                                 std::string* problem = nullptr);
