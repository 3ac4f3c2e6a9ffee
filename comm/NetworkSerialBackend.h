#pragma once

#include "NetworkDevice.h"
#include "RoundTrip.h"
#include "SerialBackend.h"
#include "TcpConnection.h"
#include "TelnetCodec.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// A serial port behind a device server: "rfc2217://host:port" sets the line over Telnet's
// COM-PORT-OPTION, "socket://host:port" carries bytes only. One TCP connection serves the port
// from Open to Close; a change of speed goes over it. The network has time bounds of its own,
// apart from the serial line's: connecting with the Telnet negotiation within the network
// timeout (5 s unless the name says "?timeout=MS"), each answer to a control request within
// three round trips or 2 s, whichever is longer (never longer than the network timeout when
// that is the shorter). The round trip is measured all along: the negotiation and every control
// answer, and on a raw port connecting and every reply.
//
// A raw port's speed is set on the server, out of the program's reach. The speed it is first
// configured with is taken as the server's; configuring it at another one later fails (until
// another device is opened), so that no exchange runs at a speed the line does not have.
class TNetworkSerialBackend final : public TSerialBackend {
public:
    bool Open(const std::string& device) override;
    bool Configure(const TLineSettings& settings) override;
    void Close() override;
    bool IsOpen() const override;
    bool Purge() override;
    bool Read(void* buffer, std::uint32_t count, std::uint32_t& got) override;
    bool Write(const void* buffer, std::uint32_t count, std::uint32_t& written) override;
    bool WaitForInput(std::uint32_t milliseconds, bool& available) override;
    std::string FailureCause() const override { return FCause; }
    bool DeviceGone() const override { return FGone; }
    TRoundTrip RoundTrip() const override { return FRoundTrip; }
    double ReplyAllowanceMs() const override;
    void ReplyDelay(double ms) override;

private:
    using TClock = std::chrono::steady_clock;

    struct TRequest {
        std::uint8_t Command;
        std::string Value;
        std::string What; // for the failure cause
    };

    bool IsRfc2217() const { return FAddress.Kind == TNetworkDevice::TKind::Rfc2217; }
    std::uint32_t NetworkTimeoutMs() const { return FAddress.TimeoutMs; }
    // How long an answer to a control request may take.
    std::uint32_t AnswerBoundMs() const;
    bool Fail(const std::string& reason);
    bool FailConnection(); // the connection's own reason
    // Connects within the set-up time; a refused connection is tried again right after this
    // program closed its own there.
    bool Connect();
    // Waits `delay` before another try and doubles it; false when no try is left before
    // `until`.
    bool BackOff(std::chrono::milliseconds& delay, TClock::time_point until) const;
    // Takes what the server sent within the time into FPending; false on a failure or a
    // closed connection. Negotiation answers go back at once.
    bool Receive(std::uint32_t waitMs, bool* any = nullptr);
    void TakeTelnet(const std::uint8_t* bytes, std::size_t count, std::string& reply);
    bool Negotiate();
    // The negotiation of a new connection; one that the server closes at once is made anew
    // while retries are allowed.
    bool SetUp();
    bool Request(const std::vector<TRequest>& requests);
    bool Discard();

    std::string FDevice;
    TNetworkDevice FAddress;
    TTcpConnection FConnection;
    TTelnetCodec FCodec;
    std::string FPending; // data bytes received, not yet read (at most one receive's worth)
    std::vector<TTelnetCodec::TControlReply> FControls; // answers not yet matched
    bool FSettingUp = false; // negotiating or awaiting answers to control requests
    TRoundTrip FRoundTrip;
    TClock::time_point FSetUpDeadline;      // connecting and negotiating end by then
    TClock::time_point FRetryUntil;         // a refused connection is tried again until
    TClock::time_point FClosedAt;           // when the last connection was closed here
    std::string FClosedDevice;              // and to what
    std::deque<TClock::time_point> FPurges; // purges sent whose answers have not come yet
    std::int32_t FLineBaudRate = 0;         // the speed set on the server's line; 0: not yet
    std::uint32_t FWrites = 0;              // frames written on this connection
    bool FReplyTimed = false;               // a raw port's reply told its round trip
    std::int32_t FRawBaudRate = 0;          // a raw port's speed once configured; 0: not yet
    std::string FCause;
    bool FGone = false; // the server closed the connection or it broke
};
