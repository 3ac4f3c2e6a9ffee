#include "app/Link.h"

#include "comm/SerialBackend.h"
#include "comm/TraceSink.h"
#include "runtime/ScopedFlag.h"

#include <utility>

TLink::TLink(TSettings settings, TPortMap ports, std::string device,
             std::unique_ptr<TSerialBackend> backend)
    : FSettings(settings), FPorts(std::move(ports)), FDevice(std::move(device)),
      FChannel(backend ? std::make_unique<TCommDispatcher>(std::move(backend))
                       : std::make_unique<TCommDispatcher>()),
      FEngine(std::make_unique<TCommKestro>(*FChannel)) {
    FEngine->BeforeRequest = [this] {
        if (!FUnstoppable)
            ThrowIfStopped(FStopRequested);
    };
    UseSettings();
}

TLink::~TLink() = default;

// Port, device and the name in messages, for the next Open.
void TLink::UseSettings() {
    FEngine->Timeout = FSettings.Timeout;
    if (FDevice.empty()) {
        FChannel->SetPort(FSettings.ComPort);
        FChannel->SetDevice(PortDevicePath(FSettings.ComPort, FPorts));
        FChannel->SetPortName({});
    } else {
        const std::int32_t port = PortNumberOfDevice(FDevice, FPorts);
        FChannel->SetPort(port);
        FChannel->SetDevice(FDevice);
        FChannel->SetPortName(port > 0 ? std::string() : FDevice);
    }
    FChannel->SetBaudRate(FSettings.BaudRate);
}

void TLink::Open() {
    UseSettings();
    FChannel->Open();
}

void TLink::Apply(TSettings settings, TPortMap ports) {
    FSettings = settings;
    FPorts = std::move(ports);
    Open();
}

void TLink::Close() {
    FChannel->Close();
}

void TLink::Reconfigure(std::int32_t baudRate, std::int32_t timeoutMs) {
    FEngine->Timeout = timeoutMs;
    FChannel->Reconfigure(baudRate);
}

void TLink::Restore() {
    if (Lost()) {
        Open();
        return;
    }
    Reconfigure(FSettings.BaudRate, FSettings.Timeout);
}

void TLink::SetSlowLink(bool slow) {
    FChannel->SetSlowLink(slow);
}

void TLink::SetRetries(std::int32_t attempts) {
    FEngine->Retries = attempts;
}

void TLink::SetStopRequested(TStopRequested stopRequested) {
    FStopRequested = std::move(stopRequested);
}

void TLink::Unstoppable(const std::function<void()>& exchange) {
    TScopedFlag unstoppable(FUnstoppable);
    exchange();
}

void TLink::SetTrace(std::shared_ptr<TTraceSink> trace) {
    FChannel->SetTrace(std::move(trace));
}

bool TLink::Active() const {
    return FChannel->GetActive();
}

bool TLink::Busy() const {
    return FEngine->Busy;
}

bool TLink::Lost() const {
    return FChannel->PortLost();
}

bool TLink::Reconnect() {
    if (!Lost())
        return Active();
    try {
        Open();
    } catch (const EOpenPort&) {
        return false; // still missing: the next attempt tells whether it is back
    } catch (const ESetupPort&) {
        return false;
    }
    return true;
}

bool TLink::CanReopenOnce() const {
    return !FReopened && Lost();
}

bool TLink::ReopenOnce() {
    if (!CanReopenOnce())
        return false;
    FReopened = true;
    return Reconnect();
}

void TLink::CheckPresent() {
    FChannel->CheckPresent();
}

std::string TLink::FailureCause() const {
    std::string cause = FChannel->LastFailureCause();
    return cause.empty() ? FChannel->DevicePath() : cause;
}

std::string TLink::DevicePath() const {
    return FChannel->DevicePath();
}

double TLink::RoundTripMs() const {
    return FChannel->RoundTripMs();
}
