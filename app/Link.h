#pragma once

#include "app/Settings.h"
#include "app/Stop.h"
#include "comm/PortNames.h"
#include "comm/SerialBackend.h"
#include "comm/uCommDispatcher.h"
#include "comm/uCommKestro.h"

#include <cstdint>
#include <memory>
#include <string>

class TTraceSink;

// The one way from a front end to the meters: the serial channel and the protocol engine, set
// up from the settings and the port map as values. It opens and reopens the port, changes the
// line speed and the reply timeout in one step, owns the frame trace and the number of
// attempts, and reopens a lost port. Sessions (TMeterSession) run on it; nothing else touches
// the channel or the engine's settings.
class TLink {
public:
    // Nothing is opened yet. `device`, when given, is opened instead of the device that the
    // settings' COM n leads to (kestro --port /dev/ttyUSB0); messages then name the COM n that
    // leads to it, or the device itself when none does. `backend`, when given, serves every
    // device (tests, other platforms); else the platform's serial port or a device server,
    // picked by the device's name.
    TLink(TSettings settings, TPortMap ports, std::string device = {},
          std::unique_ptr<TSerialBackend> backend = nullptr);
    ~TLink();

    TLink(const TLink&) = delete;
    TLink& operator=(const TLink&) = delete;

    // (Re)opens the port with the settings: reply timeout, port and speed. EOpenPort or
    // ESetupPort when it cannot be opened; the port is closed then and counts as lost, and the
    // timeout is taken all the same.
    void Open();
    // New settings and port map, put into effect at once: the port is opened again even when
    // nothing changed.
    void Apply(TSettings settings, TPortMap ports);
    void Close();

    // The one step that changes the line's speed (in place, on the open port) and the engine's
    // reply timeout. A refused speed closes the port (it counts as lost) and raises ESetupPort;
    // the timeout is taken first.
    void Reconfigure(std::int32_t baudRate, std::int32_t timeoutMs);
    // Back to the configured speed and timeout; a port that a refused change closed is opened
    // again at the configured speed.
    void Restore();
    // The long write timeout of a slow line (the optical head); never set back once set.
    void SetSlowLink(bool slow);

    void SetRetries(std::int32_t attempts);
    // Asked before every request to a meter, retries included: once it says stop, no request
    // goes out (EStopped instead) but those run through Unstoppable. Empty: never stops.
    void SetStopRequested(TStopRequested stopRequested);
    // Runs `exchange` with every request let through, also after a stop: taking the meter under
    // the optical head out of link mode must never be left undone.
    void Unstoppable(const std::function<void()>& exchange);
    // Where the channel and the engine report what they do; null for none.
    void SetTrace(std::shared_ptr<TTraceSink> trace);

    bool Active() const;
    // An exchange is running.
    bool Busy() const;
    // Closed although it should be open: it failed to open, or its device vanished.
    bool Lost() const;
    // One attempt at opening a lost port again; true when it is open now. A failed attempt
    // keeps the port lost, with its cause; other failures propagate.
    bool Reconnect();
    // A batch's one second chance: whether ReopenOnce may still try, and the try itself.
    bool CanReopenOnce() const;
    bool ReopenOnce();
    // Raises ECommError, and the port counts as lost, when the open port's device is gone.
    // Sends nothing to the meter.
    void CheckPresent();

    // Why the port failed last (device and the system's reason); the device path when the
    // system gave none.
    std::string FailureCause() const;
    std::string DevicePath() const;
    // The smoothed round trip to a device server, 0 for a local port.
    double RoundTripMs() const;
    const TSettings& Settings() const { return FSettings; }

    // The engine, for the meter operations of a session and the clock measurement.
    TCommKestro& Engine() { return *FEngine; }

private:
    void UseSettings();

    TSettings FSettings;
    TPortMap FPorts;
    std::string FDevice;
    std::unique_ptr<TCommDispatcher> FChannel;
    std::unique_ptr<TCommKestro> FEngine; // after the channel: destroyed before it
    bool FReopened = false;
    TStopRequested FStopRequested;
    bool FUnstoppable = false;
};
