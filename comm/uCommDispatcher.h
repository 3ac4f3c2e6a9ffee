#pragma once

#include "runtime/Exception.h"

#include <cstdint>
#include <memory>
#include <string>

// Communication failures: every failure of the serial link and of the meter protocol.
KESTRO_DECLARE_EXCEPTION(ECommError, Exception);
KESTRO_DECLARE_EXCEPTION(EOpenPort, ECommError);
KESTRO_DECLARE_EXCEPTION(ESetupPort, ECommError);
KESTRO_DECLARE_EXCEPTION(EReadPort, ECommError);
KESTRO_DECLARE_EXCEPTION(EWritePort, ECommError);

// Message texts of the serial channel; each carries one "%d" for the port number. They hold
// their built-in (Bulgarian) defaults until start-up assigns the English texts.
extern std::string SCommError;
extern std::string SOpenPort;
extern std::string SSetupPort;
extern std::string SReadPort;
extern std::string SWritePort;

class TSerialBackend;
class TTraceSink;
struct TTracePort;

// <windows.h> without WIN32_LEAN_AND_MEAN brings winspool.h, whose SetPort macro would rename
// the channel's SetPort in whatever follows.
#ifdef SetPort
#undef SetPort
#endif

// The one COM port through which the program talks to the meters: opened by its number, in one
// fixed line mode (BaudRate, 8N1, no flow control, DTR on, RTS off), with reads that never wait
// and writes bounded by the write time-out (2000 ms with SlowLink, else 200 ms).
class TCommDispatcher {
public:
    // A channel that picks its backend by the device it opens: a device server for
    // "rfc2217://" and "socket://" names, the platform's serial port otherwise.
    TCommDispatcher();
    // For tests and other platforms: a channel over the given backend, whatever it opens.
    explicit TCommDispatcher(std::unique_ptr<TSerialBackend> backend);
    virtual ~TCommDispatcher();

    TCommDispatcher(const TCommDispatcher&) = delete;
    TCommDispatcher& operator=(const TCommDispatcher&) = delete;

    bool GetActive() const;
    virtual void SetActive(bool value);
    virtual void SetPort(std::int32_t value);
    virtual void SetBaudRate(std::int32_t value);
    // A device path to open instead of the one that COM n names (empty: COM n's device). The
    // port number still names the port in messages, unless a port name is set.
    void SetDevice(const std::string& value);
    // What the messages call the port in place of "COM n" (a device path that no COM n leads
    // to); empty: "COM n".
    void SetPortName(const std::string& value) { FPortName = value; }
    // The device the next Open opens.
    std::string DevicePath() const;
    // Why the last failure of the port happened (device, system's reason, hint); empty when
    // the backend cannot tell. It stays until the next failure: reopening the line after a
    // failure (restoring the speed, say) keeps the cause of the failure for the user.
    std::string LastFailureCause() const;
    [[noreturn]] virtual void Error(const TExceptionClass& cls, const std::string& text);

    std::int32_t GetPort() const { return Port; }
    std::int32_t GetBaudRate() const { return BaudRate; }
    bool GetSlowLink() const { return SlowLink; }
    void SetSlowLink(bool value) { SlowLink = value; }

    // Opens the port. Until Close, a port that fails to open or whose device vanishes counts as
    // lost (see PortLost).
    void Open();
    // Changes the line speed of an open port in place, with the write time-out that SlowLink
    // asks for, without closing it: a device server gets the change on its open connection,
    // and a local port keeps its lock. A closed port only stores the speed for the next Open.
    // A refused change closes the port and raises ESetupPort.
    void Reconfigure(std::int32_t baudRate);
    void Close();
    void Purge();
    bool ReadBuf(void* buffer, std::int32_t count);
    void WriteBuf(const void* buffer, std::int32_t count);
    bool ReadChar(char& ch);
    void WriteStr(const std::string& text);

    // Whether the open port's device is still there, asked without sending or taking anything:
    // a device that is gone closes the port (it counts as lost) and raises ECommError as a
    // failed operation would. A closed port is not checked.
    void CheckPresent();

    // Waits until input is waiting or `milliseconds` have passed, without consuming anything.
    // Returns true when input is waiting. Failures throw EReadPort.
    bool WaitForInput(std::uint32_t milliseconds);

    // The time `bytes` bytes take on the line at BaudRate: 10 bits each (start, 8 data, stop).
    double LineTimeMs(std::size_t bytes) const;
    // Behind a device server: the round trip measured so far, smoothed; 0 for a local port.
    double RoundTripMs() const;
    // What a wait for a meter's reply allows for the network beyond the line's own time; 0 for
    // a local port.
    double ReplyAllowanceMs() const;
    // A meter's reply began `ms` after its request had left the line.
    void NoteReplyDelay(double ms);

    TSerialBackend& Backend() { return *FBackend; }

    // Closed although it should be open: the open failed, or the device vanished (a failure
    // that means the device is gone closes the port). Close and changing the port or speed
    // end this state; a successful Open ends it too.
    bool PortLost() const { return FWanted && !GetActive(); }

    // Where the channel reports what it opens, closes, writes and reads, and its failures; null
    // for none. The engine reports its own failures to the same sink.
    void SetTrace(std::shared_ptr<TTraceSink> trace);
    TTraceSink* Trace() const { return FTrace.get(); }

private:
    enum class TBackendKind { Injected, Platform, Network };
    void SelectBackend(const std::string& device);
    // Applies the line settings to the open port; on refusal closes it and raises ESetupPort.
    // `traced`: the trace has seen the port open, and sees it closed.
    void ConfigureOpenPort(bool traced);
    // Raises the failure of an operation through Error; with the backend's cause when the
    // backend failed. A device that is gone closes the port first.
    void Fail(const TExceptionClass& cls, const std::string& text, bool backendFailed);
    void ClosePort();
    TTracePort TracePort() const;
    // A message text of this channel with the port named in it.
    std::string PortMessage(const std::string& text) const;

    std::unique_ptr<TSerialBackend> FBackend; // holds the port handle while open
    TBackendKind FBackendKind = TBackendKind::Injected;
    std::int32_t Port = 1;
    std::int32_t BaudRate = 9600;
    bool SlowLink = false;
    std::string FDevice;   // explicit device path; empty means COM n's device
    std::string FPortName; // the port in messages instead of "COM n"; empty for that
    bool FWanted = false;  // Open was called and neither Close nor a port change came since
    std::string FLastCause;
    std::shared_ptr<TTraceSink> FTrace;
};
