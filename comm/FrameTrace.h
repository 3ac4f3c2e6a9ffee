#pragma once

#include "comm/TraceSink.h"
#include "runtime/AppendFile.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// Where trace lines go. WriteLine returns an empty string, or why the line could not be written.
class TTraceOutput {
public:
    virtual ~TTraceOutput() = default;
    virtual std::string WriteLine(const std::string& line) noexcept = 0;
};

// A trace file, appended to, which several programs may share. Before a line would take it past
// `limitBytes` the file becomes "<path>.1" (replacing an older one) and a new file starts, so a
// trace never holds much more than twice the limit on disk. The rotation happens under the
// file's lock and only when the file is still due after the lock is taken, so of several
// writers one rotates and the others move on to the new file; when the rename is refused the
// lines go on into the file as it is. Each line is one write at the end of the file. Only a
// regular file is written: a pipe, a device or a folder is refused at once, never waited for.
class TTraceFile final : public TTraceOutput {
public:
    TTraceFile(std::string path, std::uint64_t limitBytes);

    std::string WriteLine(const std::string& line) noexcept override;

private:
    bool RotationDue(std::uint64_t length) const;
    void RotateIfDue(std::uint64_t length);

    std::string FPath;
    std::uint64_t FLimit;
    TAppendFile FFile;
};

// Lines to an already open stream such as standard error; the stream stays the caller's.
class TTraceStream final : public TTraceOutput {
public:
    explicit TTraceStream(std::FILE* stream) : FStream(stream) {}
    std::string WriteLine(const std::string& line) noexcept override;

private:
    std::FILE* FStream;
};

// Called once, with the reason, when the first trace line cannot be written.
using TTraceFailureHandler = std::function<void(const std::string& reason)>;

// The frame trace: one line per frame in either direction, per timeout and per failure,
// formatted here and nowhere else. Each line carries the UTC wall-clock time to the
// millisecond, the milliseconds since the port was opened ("-" while closed), COM n ("-" for a
// device no COM n leads to), the device, the speed, what happened and, once a request went
// out, how long after it:
//
//   2026-12-09T17:04:47.123Z 1234ms COM1 /dev/ttyUSB0 9600 TX      #R05E*12\r
//   2026-12-09T17:04:47.180Z 1291ms COM1 /dev/ttyUSB0 9600 RX      after=57ms #A05E*03\r
//
// Behind a device server a request's line also carries the round trip measured so far,
// smoothed and its variation ("rtt=812.4+-40.2ms"). A speed changed in place has a SPEED line.
//
// Received bytes are collected until their CR, so a reply is one line even though the channel
// reads it byte by byte; the line carries the time its last byte arrived (a reply cut short is
// written when the timeout or the next request ends it). A line that cannot be written is reported
// once and never stops the exchange; later lines are tried again.
class TFrameTrace final : public TTraceSink {
public:
    TFrameTrace(std::unique_ptr<TTraceOutput> output, TTraceFailureHandler onFailure = {});

    void Opened(const TTracePort& port) noexcept override;
    void Reconfigured(const TTracePort& port) noexcept override;
    void Closed() noexcept override;
    void RoundTrip(double smoothedMs, double variationMs) noexcept override;
    void Purging() noexcept override;
    void Sent(std::string_view bytes) noexcept override;
    void Received(std::string_view bytes) noexcept override;
    void Failed(const TTracePort& port, const std::string& message,
                const std::string& cause) noexcept override;
    void TimedOut(const std::string& message) noexcept override;

    // Whether some line could not be written.
    bool WriteFailed() const { return FWriteFailed; }

    // Bytes as readable text: printable ASCII as itself, "\r", and "\xNN" for every other
    // byte (the backslash included, so the text reads back unambiguously).
    static std::string Escape(std::string_view bytes);

private:
    using TSteady = std::chrono::steady_clock;

    struct TStamp {
        TSteady::time_point Steady;
        std::chrono::system_clock::time_point Wall;
        static TStamp Now() { return {TSteady::now(), std::chrono::system_clock::now()}; }
    };

    void FlushReceived() noexcept;
    void Line(const TTracePort& port, const char* event, const std::string& text, bool afterRequest,
              const TStamp& at = TStamp::Now()) noexcept;

    std::unique_ptr<TTraceOutput> FOutput;
    TTraceFailureHandler FOnFailure;
    bool FWriteFailed = false;
    TTracePort FPort;
    std::optional<TSteady::time_point> FOpenedAt;
    std::optional<TSteady::time_point> FRequestAt;
    std::string FRoundTrip;       // for the next request's line: "rtt=...ms", or empty
    std::string FPending;         // received bytes not yet ended by a CR
    TStamp FPendingAt;            // when the last of them arrived: the time of their line
    std::string FLastClosedError; // a failed open repeated by every reconnect is traced once
};

// Largest trace file before it is rotated.
constexpr std::uint64_t DefaultTraceLimitBytes = 8u << 20;

// A trace to the file `target` ("-": standard error).
std::shared_ptr<TFrameTrace> OpenFrameTrace(const std::string& target,
                                            TTraceFailureHandler onFailure = {},
                                            std::uint64_t limitBytes = DefaultTraceLimitBytes);
