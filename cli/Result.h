#pragma once

#include "runtime/DateTime.h"

#include <cstdint>
#include <optional>
#include <string>

// The outcome of one operation on one meter, as kestro prints it.
struct TResult {
    std::string Command;
    std::optional<int> Address; // the bus address asked; none for the optical head
    bool Optohead = false;
    bool Success = false;
    std::string Error;                    // the program's message when it failed
    std::string Text;                     // the program's result text when it succeeded
    std::optional<int> Answered;          // the address the meter answered with (echo, scan)
    std::optional<TDateTime> MeterTime;   // read: the meter's clock; write, sync: the time set
    std::optional<TDateTime> PcTime;      // read: when the reply came; write, sync: time taken
    std::optional<std::int64_t> OffsetMs; // meter minus PC: from whole seconds (read) or measured
                                          // (offset, read --precise, sync: after the set)
    std::optional<std::int64_t> UncertaintyMs; // measured: the offset is OffsetMs +- this
    std::optional<int> Reads;                  // measured: clock reads taken
    std::optional<int> WidenedReads; // measured: reads sooner than the line allows, counted
                                     // with their whole exchange
    std::optional<std::int64_t> OffsetBeforeMs;      // sync: measured before the set
    std::optional<std::int64_t> UncertaintyBeforeMs; // sync
    std::optional<std::int64_t> MaxOffsetMs;         // sync: the limit the offset after was held to
    bool LimitIsUncertainty = false;                 // sync: that limit is the uncertainty
    std::string TakeOver;                            // sync: how the meter took the time over
    std::string PcClock;                             // sync: the PC clock's check
    double ElapsedMs = 0;                            // the whole operation, session included
};

// Writes results to standard output: a readable line each, or one JSON object per line.
class TResultWriter {
public:
    explicit TResultWriter(bool json) : FJson(json) {}
    void Write(const TResult& result) const;

private:
    bool FJson;
};

// Meter minus PC, rounded to the millisecond.
std::int64_t OffsetMs(TDateTime meter, TDateTime pc);
