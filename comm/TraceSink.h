#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The port a trace line names: COM n, the device behind it and the line speed.
struct TTracePort {
    std::int32_t Port = 0;
    std::string Device;
    std::int32_t BaudRate = 0;
};

// What the channel and the protocol engine tell a frame trace, as it happens. The channel sees
// bytes; it reports every write and every read. The engine knows where an exchange failed and
// reports its protocol failures (a timeout, a bad reply); the channel reports its own. A sink
// never throws into an exchange.
class TTraceSink {
public:
    virtual ~TTraceSink() = default;

    virtual void Opened(const TTracePort& port) noexcept = 0;
    // The open port now runs at another speed (changed in place).
    virtual void Reconfigured(const TTracePort& port) noexcept = 0;
    virtual void Closed() noexcept = 0;
    // Behind a device server: the round trip measured so far, before the request it goes with.
    virtual void RoundTrip(double smoothedMs, double variationMs) noexcept = 0;
    // The pending bytes are being discarded, as before each request: what follows belongs to
    // the next exchange.
    virtual void Purging() noexcept = 0;
    virtual void Sent(std::string_view bytes) noexcept = 0;
    virtual void Received(std::string_view bytes) noexcept = 0;
    // A failure of the port (with the system's cause, possibly empty) or of an exchange.
    // `port` names the port when it is not open (a failed open).
    virtual void Failed(const TTracePort& port, const std::string& message,
                        const std::string& cause) noexcept = 0;
    virtual void TimedOut(const std::string& message) noexcept = 0;
};
