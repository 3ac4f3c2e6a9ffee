#pragma once

// What measuring and setting a meter's clock share inside app/: the line times of frames, the
// timing of the engine's last exchange, waiting for a planned instant, a measurement that may
// start from an expected phase, and the meter's date and time as civil seconds.

#include "app/ClockSync.h"

#include <chrono>
#include <optional>

using TSteady = std::chrono::steady_clock;

constexpr double SecondMs = 1000;

double Ms(TSteady::duration duration);

// The line times of `request` and its reply `reply` at the engine's line speed.
TReadTiming ExchangeTiming(const TCommKestro& engine, const TKestroPacket& request,
                           const TKestroPacket& reply);

// The window of the engine's last exchange, as the line model places the meter's act in it.
TExchangeWindow LastExchangeWindow(const TCommKestro& engine, const TPcClock& pc);

// Waits until the steady-clock instant, asking `stopRequested` every few milliseconds (EStopped).
void SleepUntil(TSteady::time_point instant, const TStopRequested& stopRequested);
// The PC time `pcMs` as a steady-clock instant.
TSteady::time_point SteadyAt(const TPcClock& pc, double pcMs);

// Local civil seconds since 1 January 1970 of a meter's date and time, and back (EClockError
// outside the meter's years 2000 to 2099).
std::int64_t CivilSeconds(TDateTime date, TDateTime time);
TDateTime DateTimeOf(std::int64_t civilSeconds);

struct TMeasurement {
    TClockOffset Offset;
    TOffsetResult Result;
};

// Reads the meter's clock until the offset is known to the target width, or no read is worth
// its time, or the budget is spent; with an expected phase, the first read is planned on it too.
// Raises EClockContradiction when the reads fit no offset.
TMeasurement Measure(TCommKestro& engine, TKestroAddr addr, const TPcClock& pc,
                     const TClockOffsetOptions& options,
                     const std::optional<TPhaseExpectation>& expected);
