#pragma once

#include "RoundTrip.h"

#include <cstdint>
#include <memory>
#include <string>

// What the channel needs of the operating system's serial interface. One implementation per
// platform (Win32, POSIX termios); tests put a fake in its place. Every operation reports
// failure by its result; the channel turns failures into its exceptions.
class TSerialBackend {
public:
    struct TLineSettings {
        std::int32_t BaudRate;
        std::uint32_t WriteTimeoutMs;
    };

    virtual ~TSerialBackend() = default;

    // Opens the device exclusively (a path such as /dev/ttyUSB0 or \\.\COM3). False: no such
    // device, in use, no access.
    virtual bool Open(const std::string& device) = 0;
    // Queue sizes, time-outs and line mode (8N1, no flow control, DTR on, RTS off, raw).
    virtual bool Configure(const TLineSettings& settings) = 0;
    // Releases the port; never fails as far as the caller is concerned.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Discards the bytes held in both directions.
    virtual bool Purge() = 0;
    // Takes up to `count` bytes that have already arrived, without waiting; `got` may be 0.
    virtual bool Read(void* buffer, std::uint32_t count, std::uint32_t& got) = 0;
    // Writes the bytes, returning when all are accepted or the write time-out has passed.
    virtual bool Write(const void* buffer, std::uint32_t count, std::uint32_t& written) = 0;
    // Waits until input is waiting or the time has passed. False when the wait itself failed.
    virtual bool WaitForInput(std::uint32_t milliseconds, bool& available) = 0;

    // Whether the device is still there, asked without sending or taking anything; false only
    // when it is gone (DeviceGone then holds, with the cause). By default a look for waiting
    // input, which fails on a hung-up line or a closed connection.
    virtual bool CheckPresent() {
        bool available = false;
        return WaitForInput(0, available) || !DeviceGone();
    }

    // Why the last operation failed, for the user: the device, the system's reason and, where
    // one helps, a hint. Empty when the backend cannot tell.
    virtual std::string FailureCause() const { return {}; }
    // Whether the last failure means the device itself is gone (unplugged, hung up): the port
    // is of no further use until it is opened again.
    virtual bool DeviceGone() const { return false; }

    // A port behind a device server: the round trip measured so far (none for a local port),
    // and what a wait for a meter's reply allows for the network beyond the line's own time.
    virtual TRoundTrip RoundTrip() const { return {}; }
    virtual double ReplyAllowanceMs() const { return 0; }
    // A meter's reply began `ms` after its request had left the line, as the engine saw it:
    // the round trip where the network gives no other measure of it.
    virtual void ReplyDelay(double /*ms*/) {}
};

// The backend of the platform this program was built for.
std::unique_ptr<TSerialBackend> CreatePlatformSerialBackend();

// The backend for serial ports behind a device server (rfc2217:// and socket:// names).
std::unique_ptr<TSerialBackend> CreateNetworkSerialBackend();
