#include "NetworkSerialBackend.h"

#include "runtime/ScopedFlag.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

using TClock = std::chrono::steady_clock;

// Connecting is not a serial exchange, and a device server across a wide network may take
// longer than a reply is given: the slow line's time-out bounds it.
constexpr std::uint32_t ConnectTimeoutMs = 2000;
// What one receive takes from the socket at most; data not yet read stays below this.
constexpr std::size_t ReceiveChunk = 4096;

std::uint32_t RemainingMs(TClock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return left > 0 ? static_cast<std::uint32_t>(left) : 0;
}

std::string Byte(std::uint8_t value) {
    return std::string(1, static_cast<char>(value));
}

} // namespace

bool TNetworkSerialBackend::Fail(const std::string& reason) {
    FCause = FDevice + ": " + reason;
    return false;
}

bool TNetworkSerialBackend::FailConnection() {
    return Fail(FAddress.Host + " port " + std::to_string(FAddress.Port) + ": " +
                FConnection.Failure());
}

bool TNetworkSerialBackend::Open(const std::string& device) {
    Close();
    if (device != FDevice)
        FRawBaudRate = 0; // another server, whose speed is not known yet
    FDevice = device;
    FGone = false;
    const auto address = ParseNetworkDevice(device);
    if (!address)
        return Fail("not a device server address: write rfc2217://host:port or "
                    "socket://host:port");
    FAddress = *address;
    if (!FConnection.Connect(FAddress.Host, FAddress.Port, ConnectTimeoutMs)) {
        FailConnection();
        FCause += ": is the device server on, and is this its host and port?";
        return false;
    }
    FCodec = TTelnetCodec();
    return true;
}

void TNetworkSerialBackend::Close() {
    FConnection.Close();
    FPending.clear();
    FControls.clear();
}

bool TNetworkSerialBackend::IsOpen() const {
    return FConnection.IsOpen();
}

bool TNetworkSerialBackend::Receive(std::uint32_t waitMs, bool* any) {
    std::uint8_t chunk[ReceiveChunk];
    std::size_t got = 0;
    switch (FConnection.Receive(chunk, sizeof chunk, got, waitMs)) {
    case TTcpConnection::TReceive::Nothing:
        return true;
    case TTcpConnection::TReceive::Closed:
    case TTcpConnection::TReceive::Failed:
        FGone = true;
        return FailConnection();
    case TTcpConnection::TReceive::Data:
        break;
    }
    if (any)
        *any = true;
    // While the line is being set up, data bytes are old and answers are awaited; otherwise
    // the data is kept and answers nobody waits for (line and modem state notices) are not.
    if (!IsRfc2217()) {
        if (!FSettingUp)
            FPending.append(reinterpret_cast<const char*>(chunk), got);
        return true;
    }
    TTelnetCodec::TOutput out;
    FCodec.Feed(chunk, got, out);
    if (FSettingUp)
        FControls.insert(FControls.end(), out.Controls.begin(), out.Controls.end());
    else
        FPending += out.Data;
    if (!out.Reply.empty() && !FConnection.SendAll(out.Reply, FTimeoutMs))
        return FailConnection();
    return true;
}

bool TNetworkSerialBackend::Negotiate() {
    const TScopedFlag settingUp(FSettingUp); // on every path out
    if (!FConnection.SendAll(FCodec.Start(), FTimeoutMs))
        return FailConnection();
    const auto deadline = TClock::now() + std::chrono::milliseconds(FTimeoutMs);
    while (!FCodec.Negotiated()) {
        if (const std::string refusal = FCodec.Refusal(); !refusal.empty())
            return Fail(refusal + ": is it an RFC 2217 port (else use socket://)?");
        const std::uint32_t left = RemainingMs(deadline);
        if (left == 0)
            return Fail("no Telnet negotiation within " + std::to_string(FTimeoutMs) +
                        " ms: is it an RFC 2217 port (else use socket://)?");
        if (!Receive(left))
            return false;
        FControls.clear(); // no request is out yet
    }
    return true;
}

// Sends the requests at once and takes the server's answers in their order, all within the
// time-out. Each answer must carry the value asked for: a server that sets anything else
// leaves the line in a state no exchange should run on.
bool TNetworkSerialBackend::Request(const std::vector<TRequest>& requests) {
    std::string wire;
    for (const TRequest& request : requests)
        wire += TTelnetCodec::ControlRequest(request.Command, request.Value);
    const TScopedFlag settingUp(FSettingUp); // on every path out
    FControls.clear();
    if (!FConnection.SendAll(wire, FTimeoutMs))
        return FailConnection();
    const auto deadline = TClock::now() + std::chrono::milliseconds(FTimeoutMs);
    std::size_t answered = 0;
    while (answered < requests.size()) {
        for (std::size_t i = 0; i < FControls.size() && answered < requests.size(); ++i) {
            const TRequest& request = requests[answered];
            const TTelnetCodec::TControlReply& reply = FControls[i];
            if (reply.Command != request.Command)
                continue; // a notice or an answer to something else
            const std::string value(reinterpret_cast<const char*>(reply.Value.data()),
                                    std::min<std::size_t>(reply.Length, reply.Value.size()));
            if (reply.Length != request.Value.size() || value != request.Value)
                return Fail("the server did not accept " + request.What);
            ++answered;
        }
        FControls.clear();
        if (answered == requests.size())
            break;
        const std::uint32_t left = RemainingMs(deadline);
        if (left == 0)
            return Fail("the server did not confirm " + requests[answered].What + " within " +
                        std::to_string(FTimeoutMs) + " ms");
        if (!Receive(left))
            return false;
    }
    return true;
}

bool TNetworkSerialBackend::Configure(const TLineSettings& settings) {
    if (!IsOpen())
        return Fail("not connected");
    FTimeoutMs = settings.WriteTimeoutMs;
    if (!IsRfc2217()) {
        if (FRawBaudRate == 0)
            FRawBaudRate = settings.BaudRate;
        if (settings.BaudRate != FRawBaudRate)
            return Fail("a raw TCP port carries bytes only and cannot change the line's speed "
                        "from " +
                        std::to_string(FRawBaudRate) + " to " + std::to_string(settings.BaudRate) +
                        " baud: use rfc2217:// for the optical head or another speed");
        return true;
    }
    if (settings.BaudRate <= 0)
        return Fail("no line speed of " + std::to_string(settings.BaudRate) + " baud");
    if (!FCodec.Negotiated() && !Negotiate())
        return false;
    using C = TTelnetCodec;
    const std::string baud = std::to_string(settings.BaudRate) + " baud";
    return Request({
        {C::SetBaudRate, C::BaudRateValue(static_cast<std::uint32_t>(settings.BaudRate)),
         "the speed of " + baud},
        {C::SetDataSize, Byte(8), "8 data bits"},
        {C::SetParity, Byte(C::ParityNone), "no parity"},
        {C::SetStopSize, Byte(C::StopBitsOne), "1 stop bit"},
        {C::SetControl, Byte(C::NoFlowControl), "no flow control"},
        {C::SetControl, Byte(C::DtrOn), "DTR on"},
        {C::SetControl, Byte(C::RtsOff), "RTS off"},
    });
}

// Whatever has arrived is old: the bytes already received and those still in the socket. A
// server that never stops sending is given up on after the time-out; the exchange that follows
// then fails on what it reads.
bool TNetworkSerialBackend::Discard() {
    FPending.clear();
    const auto deadline = TClock::now() + std::chrono::milliseconds(FTimeoutMs);
    for (bool any = true; any && TClock::now() < deadline;) {
        any = false;
        if (!Receive(0, &any))
            return false;
        FPending.clear();
    }
    return true;
}

bool TNetworkSerialBackend::Purge() {
    if (!IsOpen())
        return Fail("not connected");
    if (!Discard())
        return false;
    // The server's answer comes after whatever it sent before it purged: all of that is old,
    // and dropped while the answer is awaited.
    return !IsRfc2217() ||
           Request({{TTelnetCodec::PurgeData, Byte(TTelnetCodec::PurgeBoth), "the purge"}});
}

bool TNetworkSerialBackend::Read(void* buffer, std::uint32_t count, std::uint32_t& got) {
    got = 0;
    if (!IsOpen())
        return Fail("not connected");
    if (FPending.empty() && !Receive(0))
        return false;
    got = static_cast<std::uint32_t>(std::min<std::size_t>(count, FPending.size()));
    std::memcpy(buffer, FPending.data(), got);
    FPending.erase(0, got);
    return true;
}

bool TNetworkSerialBackend::Write(const void* buffer, std::uint32_t count, std::uint32_t& written) {
    written = 0;
    if (!IsOpen())
        return Fail("not connected");
    const std::string_view bytes(static_cast<const char*>(buffer), count);
    if (!FConnection.SendAll(IsRfc2217() ? TTelnetCodec::Escape(bytes) : std::string(bytes),
                             FTimeoutMs))
        return FailConnection();
    written = count;
    return true;
}

bool TNetworkSerialBackend::WaitForInput(std::uint32_t milliseconds, bool& available) {
    available = false;
    if (!IsOpen())
        return Fail("not connected");
    const auto deadline = TClock::now() + std::chrono::milliseconds(milliseconds);
    // Telnet notices may arrive without data: wait on until data or the time is over.
    while (FPending.empty()) {
        const std::uint32_t left = RemainingMs(deadline);
        if (!Receive(left))
            return false;
        if (left == 0)
            break;
    }
    available = !FPending.empty();
    return true;
}

std::unique_ptr<TSerialBackend> CreateNetworkSerialBackend() {
    return std::make_unique<TNetworkSerialBackend>();
}
