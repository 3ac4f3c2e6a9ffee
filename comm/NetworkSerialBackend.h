#pragma once

#include "NetworkDevice.h"
#include "SerialBackend.h"
#include "TcpConnection.h"
#include "TelnetCodec.h"

#include <cstdint>
#include <string>
#include <vector>

// A serial port behind a device server: "rfc2217://host:port" sets the line over Telnet's
// COM-PORT-OPTION, "socket://host:port" carries bytes only. Opening connects; configuring
// negotiates and sets the line; every wait for the server is bounded by the write time-out.
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

private:
    struct TRequest {
        std::uint8_t Command;
        std::string Value;
        std::string What; // for the failure cause
    };

    bool IsRfc2217() const { return FAddress.Kind == TNetworkDevice::TKind::Rfc2217; }
    bool Fail(const std::string& reason);
    bool FailConnection(); // the connection's own reason
    // Takes what the server sent within the time into FPending; false on a failure or a
    // closed connection. Negotiation answers go back at once.
    bool Receive(std::uint32_t waitMs, bool* any = nullptr);
    bool Negotiate();
    bool Request(const std::vector<TRequest>& requests);
    bool Discard();

    std::string FDevice;
    TNetworkDevice FAddress;
    TTcpConnection FConnection;
    TTelnetCodec FCodec;
    std::string FPending; // data bytes received, not yet read (at most one receive's worth)
    std::vector<TTelnetCodec::TControlReply> FControls; // answers not yet matched
    bool FSettingUp = false; // negotiating or awaiting answers to control requests
    std::uint32_t FTimeoutMs = 200;
    std::int32_t FRawBaudRate = 0; // a raw port's speed once configured; 0: not yet
    std::string FCause;
    bool FGone = false; // the server closed the connection or it broke
};
