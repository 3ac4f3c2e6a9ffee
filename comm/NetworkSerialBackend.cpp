#include "NetworkSerialBackend.h"

#include "NetworkClock.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

using namespace network_clock;

namespace {

// The floor of the wait for an answer to a control request, however short the round trip.
constexpr std::uint32_t AnswerFloorMs = 2000;
// Round trips an answer to a control request may take.
constexpr double AnswerRoundTrips = 3;
// The longest pause between tries of a new connection.
constexpr auto LongestRetryPause = std::chrono::milliseconds(800);
// What one receive takes from the socket at most; data not yet read stays below this.
constexpr std::size_t ReceiveChunk = 4096;
// A server that never stops sending is given up on after this while purging.
constexpr auto DiscardLimit = std::chrono::milliseconds(200);

} // namespace

bool TNetworkSerialBackend::Fail(const std::string& reason) {
    FCause = FDevice + ": " + reason;
    return false;
}

bool TNetworkSerialBackend::FailConnection() {
    return Fail(FAddress.Host + " port " + std::to_string(FAddress.Port) + ": " +
                FConnection.Failure());
}

std::uint32_t TNetworkSerialBackend::AnswerBoundMs() const {
    const double roundTrips = std::ceil(AnswerRoundTrips * FRoundTrip.BoundMs());
    const double floor = std::min(AnswerFloorMs, NetworkTimeoutMs());
    return static_cast<std::uint32_t>(std::min(std::max(roundTrips, floor), 1e9));
}

double TNetworkSerialBackend::ReplyAllowanceMs() const {
    // Only a reply tells a raw port's round trip: until one has, the first exchange is given
    // what a control answer is.
    if (!IsRfc2217() && !FReplyTimed && FWrites <= 1)
        return AnswerBoundMs();
    return FRoundTrip.BoundMs();
}

void TNetworkSerialBackend::ReplyDelay(double ms) {
    if (IsRfc2217() || !IsOpen())
        return; // the server's control answers measure the network without the meter's turn
    if (!FReplyTimed)
        FRoundTrip.Clear(); // the first reply crossed the whole way; connecting perhaps not
    FRoundTrip.Add(ms);
    FReplyTimed = true;
}

bool TNetworkSerialBackend::BackOff(std::chrono::milliseconds& delay,
                                    TClock::time_point until) const {
    if (TClock::now() + delay >= until)
        return false;
    std::this_thread::sleep_for(delay);
    delay = std::min(delay * 2,
                     std::chrono::duration_cast<std::chrono::milliseconds>(LongestRetryPause));
    return true;
}

bool TNetworkSerialBackend::Connect() {
    for (auto delay = std::chrono::milliseconds(FirstRetryPause);;) {
        if (FConnection.Connect(FAddress.Host, FAddress.Port, RemainingMs(FSetUpDeadline))) {
            // Connecting may end at a forwarder near the program: RFC 2217 measures from its
            // negotiation on instead, a raw port until its first reply.
            if (!IsRfc2217())
                FRoundTrip.Add(FConnection.ConnectMs());
            FCodec = TTelnetCodec();
            return true;
        }
        if (!FConnection.Refused() || !BackOff(delay, FRetryUntil)) {
            FailConnection();
            FCause += ": is the device server on, and is this its host and port?";
            return false;
        }
    }
}

bool TNetworkSerialBackend::Open(const std::string& device) {
    Close();
    if (device != FDevice)
        FRawBaudRate = 0; // another server, whose speed is not known yet
    FDevice = device;
    FGone = false;
    std::string problem;
    const auto address = ParseNetworkDevice(device, &problem);
    if (!address)
        return Fail(problem);
    FAddress = *address;
    FRoundTrip.Clear();
    FWrites = 0;
    FReplyTimed = false;
    const auto now = TClock::now();
    FSetUpDeadline = now + std::chrono::milliseconds(NetworkTimeoutMs());
    // A server that serves one client at a time may not take the next one at once: right after
    // this program closed its own connection there, a refused or dropped one is tried again.
    const bool reopening =
        FClosedDevice == device && FClosedAt + std::chrono::milliseconds(NetworkTimeoutMs()) > now;
    FRetryUntil = reopening ? FSetUpDeadline : now;
    return Connect();
}

void TNetworkSerialBackend::Close() {
    if (FConnection.IsOpen()) {
        FClosedAt = TClock::now();
        FClosedDevice = FDevice;
    }
    FConnection.Close();
    FPending.clear();
    FControls.clear();
    FPurges.clear();
    FLineBaudRate = 0;
}

bool TNetworkSerialBackend::IsOpen() const {
    return FConnection.IsOpen();
}

// Data bytes a server sent before it purged are old: they are dropped up to the answer to the
// last purge sent. While the line is being set up, data bytes are old and answers are awaited;
// otherwise answers nobody waits for (line and modem state notices) are dropped.
void TNetworkSerialBackend::TakeTelnet(const std::uint8_t* bytes, std::size_t count,
                                       std::string& reply) {
    TTelnetCodec::TOutput out;
    FCodec.Feed(bytes, count, out);
    std::size_t newFrom = FPurges.empty() ? 0 : std::string::npos;
    for (std::size_t i = 0; i < out.Controls.size(); ++i) {
        const TTelnetCodec::TControlReply& control = out.Controls[i];
        if (control.Command == TTelnetCodec::PurgeData && !FPurges.empty()) {
            FRoundTrip.Add(
                std::chrono::duration<double, std::milli>(TClock::now() - FPurges.front()).count());
            FPurges.pop_front();
            if (FPurges.empty())
                newFrom = out.DataBefore[i];
        } else if (FSettingUp) {
            FControls.push_back(control);
        }
    }
    if (!FSettingUp && newFrom != std::string::npos)
        FPending.append(out.Data, newFrom);
    reply = std::move(out.Reply);
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
    if (!IsRfc2217()) {
        if (!FSettingUp)
            FPending.append(reinterpret_cast<const char*>(chunk), got);
        return true;
    }
    std::string reply;
    TakeTelnet(chunk, got, reply);
    if (!reply.empty() && !FConnection.SendAll(reply, NetworkTimeoutMs()))
        return FailConnection();
    return true;
}

// Whatever has arrived is old: the bytes already received and those still in the socket.
bool TNetworkSerialBackend::Discard() {
    FPending.clear();
    const auto deadline = TClock::now() + DiscardLimit;
    for (bool any = true; any && TClock::now() < deadline;) {
        any = false;
        if (!Receive(0, &any))
            return false;
        FPending.clear();
    }
    return true;
}

// The purge's answer is not waited for: the server handles what it receives in order, so the
// request that follows reaches the line after the purge, and its reply comes after the answer.
// Data bytes up to the answer are dropped as they arrive.
bool TNetworkSerialBackend::Purge() {
    if (!IsOpen())
        return Fail("not connected");
    if (!FPurges.empty() &&
        TClock::now() > FPurges.front() + std::chrono::milliseconds(AnswerBoundMs()))
        return Fail("the server did not confirm the purge within " +
                    std::to_string(AnswerBoundMs()) + " ms");
    if (!Discard())
        return false;
    if (!IsRfc2217())
        return true;
    const std::string request =
        TTelnetCodec::ControlRequest(TTelnetCodec::PurgeData, Byte(TTelnetCodec::PurgeBoth));
    if (!FConnection.SendAll(request, NetworkTimeoutMs()))
        return FailConnection();
    FPurges.push_back(TClock::now());
    return true;
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
                             NetworkTimeoutMs()))
        return FailConnection();
    written = count;
    ++FWrites;
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
