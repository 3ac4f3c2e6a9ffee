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
    std::optional<std::int64_t> OffsetMs; // read: meter minus PC
    double ElapsedMs = 0;                 // the whole operation, session included
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
