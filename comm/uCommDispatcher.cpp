#include "uCommDispatcher.h"

#include "NetworkDevice.h"
#include "PortNames.h"
#include "SerialBackend.h"
#include "runtime/Format.h"

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
    Close();
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

std::string TCommDispatcher::LastFailureCause() const {
    return FBackend->FailureCause();
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

void TCommDispatcher::Error(const TExceptionClass& cls, const std::string& text) {
    RaiseException(cls, Format(text, {Port}));
}

void TCommDispatcher::Open() {
    Close();
    const std::string device = DevicePath();
    SelectBackend(device);
    try {
        if (!FBackend->Open(device))
            Error(EOpenPort::ClassType, SOpenPort);
        const TSerialBackend::TLineSettings settings{BaudRate, SlowLink ? kSlowLinkWriteTimeoutMs
                                                                        : kWriteTimeoutMs};
        if (!FBackend->Configure(settings))
            Error(ESetupPort::ClassType, SSetupPort);
    } catch (...) {
        // Nothing stays half-open: the port is released before the failure leaves.
        Close();
        throw;
    }
}

void TCommDispatcher::Close() {
    if (GetActive())
        FBackend->Close();
}

void TCommDispatcher::Purge() {
    if (!FBackend->Purge())
        Error(ECommError::ClassType, SCommError);
}

bool TCommDispatcher::ReadBuf(void* buffer, std::int32_t count) {
    // A negative count must never reach the operating system as a huge unsigned size.
    if (count < 0)
        Error(EReadPort::ClassType, SReadPort);
    std::uint32_t got = 0;
    if (!FBackend->Read(buffer, static_cast<std::uint32_t>(count), got))
        Error(EReadPort::ClassType, SReadPort);
    return got == static_cast<std::uint32_t>(count);
}

void TCommDispatcher::WriteBuf(const void* buffer, std::int32_t count) {
    if (count < 0)
        Error(EWritePort::ClassType, SWritePort);
    if (count == 0)
        return; // nothing to write is no failure, whatever the driver thinks of empty writes
    std::uint32_t written = 0;
    if (!FBackend->Write(buffer, static_cast<std::uint32_t>(count), written) ||
        written != static_cast<std::uint32_t>(count))
        Error(EWritePort::ClassType, SWritePort);
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

bool TCommDispatcher::WaitForInput(std::uint32_t milliseconds) {
    bool available = false;
    if (!FBackend->WaitForInput(milliseconds, available))
        Error(EReadPort::ClassType, SReadPort);
    return available;
}
