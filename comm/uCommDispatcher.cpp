#include "uCommDispatcher.h"

#include "NetworkDevice.h"
#include "PortNames.h"
#include "SerialBackend.h"
#include "TraceSink.h"
#include "runtime/Format.h"

#include <algorithm>
#include <limits>
#include <utility>

KESTRO_DEFINE_EXCEPTION(ECommError, Exception);
KESTRO_DEFINE_EXCEPTION(EOpenPort, ECommError);
KESTRO_DEFINE_EXCEPTION(ESetupPort, ECommError);
KESTRO_DEFINE_EXCEPTION(EReadPort, ECommError);
KESTRO_DEFINE_EXCEPTION(EWritePort, ECommError);

std::string SCommError = "Грешка при работа с COM%d!";
std::string SOpenPort = "Грешка при отваряне на COM%d!";
std::string SSetupPort = "Грешка при инициализация на COM%d!";
std::string SReadPort = "Грешка при четене на COM%d!";
std::string SWritePort = "Грешка при запис в COM%d!";

namespace {

constexpr std::uint32_t kWriteTimeoutMs = 200;
constexpr std::uint32_t kSlowLinkWriteTimeoutMs = 2000;

} // namespace

TCommDispatcher::TCommDispatcher() : TCommDispatcher(CreatePlatformSerialBackend()) {
    FBackendKind = TBackendKind::Platform;
}

TCommDispatcher::TCommDispatcher(std::unique_ptr<TSerialBackend> backend)
    : FBackend(std::move(backend)) {}

TCommDispatcher::~TCommDispatcher() {
    ClosePort();
}

bool TCommDispatcher::GetActive() const {
    return FBackend->IsOpen();
}

void TCommDispatcher::SetActive(bool value) {
    if (value == GetActive())
        return;
    if (value)
        Open();
    else
        Close();
}

void TCommDispatcher::SetPort(std::int32_t value) {
    if (value == Port)
        return;
    Close();
    Port = value;
}

void TCommDispatcher::SetBaudRate(std::int32_t value) {
    if (value == BaudRate)
        return;
    Close();
    BaudRate = value;
}

void TCommDispatcher::SetDevice(const std::string& value) {
    if (value == FDevice)
        return;
    Close();
    FDevice = value;
}

std::string TCommDispatcher::DevicePath() const {
    return FDevice.empty() ? PortDevicePath(Port) : FDevice;
}

// The backend is kept while the kind of device stays the same: a raw device server's backend
// remembers the line speed it was first given.
void TCommDispatcher::SelectBackend(const std::string& device) {
    if (FBackendKind == TBackendKind::Injected)
        return;
    const TBackendKind wanted =
        IsNetworkDevice(device) ? TBackendKind::Network : TBackendKind::Platform;
    if (wanted == FBackendKind)
        return;
    FBackend = wanted == TBackendKind::Network ? CreateNetworkSerialBackend()
                                               : CreatePlatformSerialBackend();
    FBackendKind = wanted;
}

namespace {

// A message text with the port named by `name` in place of "COM%d" (or of "%d" alone).
std::string NamingPort(const std::string& text, const std::string& name) {
    std::string message = text;
    for (const std::string placeholder : {"COM%d", "%d"}) {
        const std::size_t at = message.find(placeholder);
        if (at != std::string::npos)
            return message.replace(at, placeholder.size(), name);
    }
    return message;
}

} // namespace

std::string TCommDispatcher::PortMessage(const std::string& text) const {
    return FPortName.empty() ? Format(text, {Port}) : NamingPort(text, FPortName);
}

void TCommDispatcher::Error(const TExceptionClass& cls, const std::string& text) {
    RaiseException(cls, PortMessage(text));
}

void TCommDispatcher::Open() {
    ClosePort();
    FWanted = true;
    const std::string device = DevicePath();
    SelectBackend(device);
    if (!FBackend->Open(device))
        Fail(EOpenPort::ClassType, SOpenPort, true);
    ConfigureOpenPort(false);
    if (FTrace)
        FTrace->Opened(TracePort());
}

void TCommDispatcher::Reconfigure(std::int32_t baudRate) {
    BaudRate = baudRate;
    if (!GetActive())
        return;
    ConfigureOpenPort(true);
    if (FTrace)
        FTrace->Reconfigured(TracePort());
}

void TCommDispatcher::ConfigureOpenPort(bool traced) {
    const TSerialBackend::TLineSettings settings{BaudRate, SlowLink ? kSlowLinkWriteTimeoutMs
                                                                    : kWriteTimeoutMs};
    // Nothing stays half-open: the port is released before any failure leaves.
    bool configured = false;
    try {
        configured = FBackend->Configure(settings);
    } catch (...) {
        FBackend->Close();
        if (FTrace && traced)
            FTrace->Closed();
        throw;
    }
    if (!configured) {
        const std::string cause = FBackend->FailureCause();
        FBackend->Close();
        FLastCause = cause;
        if (FTrace) {
            FTrace->Failed(TracePort(), PortMessage(SSetupPort), cause);
            if (traced)
                FTrace->Closed();
        }
        Error(ESetupPort::ClassType, SSetupPort);
    }
}

void TCommDispatcher::Close() {
    FWanted = false;
    ClosePort();
}

void TCommDispatcher::ClosePort() {
    if (!GetActive())
        return;
    FBackend->Close();
    if (FTrace)
        FTrace->Closed();
}

std::string TCommDispatcher::LastFailureCause() const {
    return FLastCause;
}

void TCommDispatcher::SetTrace(std::shared_ptr<TTraceSink> trace) {
    FTrace = std::move(trace);
}

TTracePort TCommDispatcher::TracePort() const {
    return TTracePort{Port, DevicePath(), BaudRate};
}

void TCommDispatcher::Fail(const TExceptionClass& cls, const std::string& text,
                           bool backendFailed) {
    std::string cause;
    if (backendFailed) {
        cause = FBackend->FailureCause();
        FLastCause = cause;
    }
    if (FTrace)
        FTrace->Failed(TracePort(), PortMessage(text), cause);
    if (backendFailed && GetActive() && FBackend->DeviceGone())
        ClosePort(); // still wanted: the port counts as lost until it opens again
    Error(cls, text);
}

void TCommDispatcher::Purge() {
    if (FTrace)
        FTrace->Purging();
    if (!FBackend->Purge())
        Fail(ECommError::ClassType, SCommError, true);
}

bool TCommDispatcher::ReadBuf(void* buffer, std::int32_t count) {
    // A negative count must never reach the operating system as a huge unsigned size.
    if (count < 0)
        Fail(EReadPort::ClassType, SReadPort, false);
    std::uint32_t got = 0;
    if (!FBackend->Read(buffer, static_cast<std::uint32_t>(count), got))
        Fail(EReadPort::ClassType, SReadPort, true);
    if (got > 0 && FTrace)
        FTrace->Received(std::string_view(static_cast<const char*>(buffer), got));
    return got == static_cast<std::uint32_t>(count);
}

void TCommDispatcher::WriteBuf(const void* buffer, std::int32_t count) {
    if (count < 0)
        Fail(EWritePort::ClassType, SWritePort, false);
    if (count == 0)
        return; // nothing to write is no failure, whatever the driver thinks of empty writes
    if (FTrace) {
        if (const TRoundTrip roundTrip = FBackend->RoundTrip(); roundTrip.Known())
            FTrace->RoundTrip(roundTrip.SmoothedMs(), roundTrip.VariationMs());
        FTrace->Sent(
            std::string_view(static_cast<const char*>(buffer), static_cast<std::size_t>(count)));
    }
    std::uint32_t written = 0;
    if (!FBackend->Write(buffer, static_cast<std::uint32_t>(count), written) ||
        written != static_cast<std::uint32_t>(count))
        Fail(EWritePort::ClassType, SWritePort, true);
}

bool TCommDispatcher::ReadChar(char& ch) {
    return ReadBuf(&ch, 1);
}

void TCommDispatcher::WriteStr(const std::string& text) {
    // Longer texts than a 32-bit count can describe are refused rather than cut short.
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        Error(EWritePort::ClassType, SWritePort);
    WriteBuf(text.data(), static_cast<std::int32_t>(text.size()));
}

void TCommDispatcher::CheckPresent() {
    if (GetActive() && !FBackend->CheckPresent())
        Fail(ECommError::ClassType, SCommError, true);
}

bool TCommDispatcher::WaitForInput(std::uint32_t milliseconds) {
    bool available = false;
    if (!FBackend->WaitForInput(milliseconds, available))
        Fail(EReadPort::ClassType, SReadPort, true);
    return available;
}

double TCommDispatcher::LineTimeMs(std::size_t bytes) const {
    return BaudRate > 0 ? static_cast<double>(bytes) * 10 * 1000 / BaudRate : 0;
}

double TCommDispatcher::RoundTripMs() const {
    return FBackend->RoundTrip().SmoothedMs();
}

double TCommDispatcher::ReplyAllowanceMs() const {
    return std::max(FBackend->ReplyAllowanceMs(), 0.0);
}

void TCommDispatcher::NoteReplyDelay(double ms) {
    FBackend->ReplyDelay(ms);
}
