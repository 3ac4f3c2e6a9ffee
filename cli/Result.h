#pragma once

#include "app/PcClock.h"
#include "runtime/DateTime.h"

#include <cstdint>
#include <optional>
#include <string>

// Version of the fields of kestro's JSON lines (results and ports): raised whenever a field
// changes its meaning or goes.
constexpr int JsonSchema = 1;

// The port a run uses: "COM1" (empty when no COM n leads to the device), the device and the
// line speed.
struct TPortUsed {
    std::string Port;
    std::string Device;
    std::int32_t BaudRate = 0;
};

// The outcome of one operation on one meter, as kestro prints it; also a refusal of the whole
// run (no target, no port when it came before the port was known).
struct TResult {
    std::string Command;
    std::optional<TPortUsed> PortUsed;
    std::optional<int> Address; // the bus address asked; none for the optical head
    bool Optohead = false;
    bool Success = false;
    std::string Error;                    // the program's message when it failed
    std::string Text;                     // the program's result text when it succeeded
    std::optional<int> Answered;          // the address the meter answered with (echo, scan)
    std::optional<TDateTime> MeterTime;   // read: the meter's clock; write, sync: the time set
    std::optional<TDateTime> PcTime;      // read: when the reply came; write: when it was sent;
                                          // sync: when the check after the set ended
    std::optional<std::int64_t> OffsetMs; // meter minus PC: from whole seconds (read) or measured
                                          // (offset, read --precise, sync: after the set)
    std::optional<std::int64_t> UncertaintyMs; // the offset is OffsetMs +- this
    std::optional<int> Reads;                  // measured: clock reads taken
    std::optional<int> WidenedReads; // measured: reads sooner than the line allows, counted
                                     // with their whole exchange
    std::optional<std::int64_t> OffsetBeforeMs;      // sync: measured before the set
    std::optional<std::int64_t> UncertaintyBeforeMs; // sync
    std::optional<std::int64_t> MaxOffsetMs;         // sync: the limit the offset after was held to
    bool LimitIsUncertainty = false;                 // sync: that limit is the uncertainty
    std::string TakeOver; // sync: how the meter took the time over, "code: sentence"
    std::string PcClock;  // sync: the PC clock's check, as a sentence
    std::optional<TPcClockStatus::TState> PcClockState; // sync: the same, as a state
    double ElapsedMs = 0;                               // the whole operation, session included
};

// Writes results to standard output: a readable line each under a line that names the port, or
// one JSON object per line.
class TResultWriter {
public:
    explicit TResultWriter(bool json) : FJson(json) {}
    // The text's first line: the port, its device and the speed; nothing in JSON, where every
    // line names them.
    void WriteHeader(const TPortUsed& port, bool optohead) const;
    void Write(const TResult& result) const;
    // A refusal of the whole run (`command` empty when there was none): its JSON line; nothing
    // in text, where standard error says it. `port` when it was known.
    void WriteRefusal(const std::string& command, const std::string& message,
                      const std::optional<TPortUsed>& port = std::nullopt) const;

private:
    bool FJson;
};

// "COM1 (/dev/ttyUSB0), 9600 baud", or "/dev/ttyUSB0, 9600 baud" when no COM n leads there.
std::string PortText(const TPortUsed& port);
