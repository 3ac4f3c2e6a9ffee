// The device-server backend's setting up of the line: the Telnet negotiation of a new
// connection and the COM-PORT-OPTION requests with their answers.
#include "NetworkSerialBackend.h"

#include "NetworkClock.h"
#include "runtime/ScopedFlag.h"

#include <algorithm>

using namespace network_clock;

bool TNetworkSerialBackend::Negotiate() {
    const TScopedFlag settingUp(FSettingUp); // on every path out
    const auto started = TClock::now();
    if (!FConnection.SendAll(FCodec.Start(), RemainingMs(FSetUpDeadline)))
        return FailConnection();
    while (!FCodec.Negotiated()) {
        if (const std::string refusal = FCodec.Refusal(); !refusal.empty())
            return Fail(refusal + ": is it an RFC 2217 port (else use socket://)?");
        const std::uint32_t left = RemainingMs(FSetUpDeadline);
        if (left == 0)
            return Fail("no Telnet negotiation within " + std::to_string(NetworkTimeoutMs()) +
                        " ms: is it an RFC 2217 port (else use socket://)?");
        if (!Receive(left))
            return false;
        FControls.clear(); // no request is out yet
    }
    FRoundTrip.Add(MsSince(started));
    return true;
}

// A server that takes a connection and drops it before any negotiation is busy with another
// client, which may be this program's own connection of a moment ago (the server learns of its
// end only one network delay later) or another program's: tried again within the set-up time.
bool TNetworkSerialBackend::SetUp() {
    for (auto delay = std::chrono::milliseconds(FirstRetryPause);;) {
        if (Negotiate())
            return true;
        if (!FGone || !BackOff(delay, FSetUpDeadline))
            return false;
        FConnection.Close();
        FGone = false;
        if (!Connect())
            return false;
    }
}

// Sends the requests at once and takes the server's answers in their order, all within the
// answer bound. Each answer must carry the value asked for: a server that sets anything else
// leaves the line in a state no exchange should run on.
bool TNetworkSerialBackend::Request(const std::vector<TRequest>& requests) {
    std::string wire;
    for (const TRequest& request : requests)
        wire += TTelnetCodec::ControlRequest(request.Command, request.Value);
    const TScopedFlag settingUp(FSettingUp); // on every path out
    FControls.clear();
    const std::uint32_t boundMs = AnswerBoundMs();
    const auto started = TClock::now();
    const auto deadline = started + std::chrono::milliseconds(boundMs);
    if (!FConnection.SendAll(wire, boundMs))
        return FailConnection();
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
                        std::to_string(boundMs) + " ms");
        if (!Receive(left))
            return false;
    }
    FRoundTrip.Add(MsSince(started));
    return true;
}

bool TNetworkSerialBackend::Configure(const TLineSettings& settings) {
    if (!IsOpen())
        return Fail("not connected");
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
    if (!FCodec.Negotiated() && !SetUp())
        return false;
    using C = TTelnetCodec;
    const std::string baud = std::to_string(settings.BaudRate) + " baud";
    const TRequest speed{C::SetBaudRate,
                         C::BaudRateValue(static_cast<std::uint32_t>(settings.BaudRate)),
                         "the speed of " + baud};
    // The line mode once per connection; later only the speed, when it changes.
    if (FLineBaudRate == settings.BaudRate)
        return true;
    const bool lineSet = FLineBaudRate != 0;
    FLineBaudRate = 0; // unknown until the server has answered
    if (lineSet) {
        if (!Request({speed}))
            return false;
    } else if (!Request({
                   speed,
                   {C::SetDataSize, Byte(8), "8 data bits"},
                   {C::SetParity, Byte(C::ParityNone), "no parity"},
                   {C::SetStopSize, Byte(C::StopBitsOne), "1 stop bit"},
                   {C::SetControl, Byte(C::NoFlowControl), "no flow control"},
                   {C::SetControl, Byte(C::DtrOn), "DTR on"},
                   {C::SetControl, Byte(C::RtsOff), "RTS off"},
               })) {
        return false;
    }
    FLineBaudRate = settings.BaudRate;
    return true;
}
