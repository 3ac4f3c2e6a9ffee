#pragma once

#include "app/ClockOffset.h"
#include "app/PcClock.h"
#include "comm/uCommKestro.h"
#include "runtime/DateTime.h"
#include "runtime/Exception.h"

#include <string>

// Measuring a meter's clock against the PC's to the millisecond, and setting it to the second
// boundary, over the protocol engine and its channel as they are set up (port, speed, reply
// time-out, optical-head link mode: all the caller's).
//
//   TOffsetResult r = MeasureClockOffset(engine, address, SystemPcClock());
//   TSyncResult s = SyncClock(engine, address, SystemPcClock(), {.Force = force});
//
// Both raise what the engine raises (ECommError and below), EStopped when asked to stop, and the
// exceptions below.

// A meter's clock could not be measured or set as asked.
KESTRO_DECLARE_EXCEPTION(EClockError, Exception);
// The meter's reads fit no single offset: its clock stepped during the measurement, or it is
// not counting. There is no offset to report.
KESTRO_DECLARE_EXCEPTION(EClockContradiction, EClockError);
// After a set (and its one correction) the meter is still further off than the limit allows.
KESTRO_DECLARE_EXCEPTION(EClockBeyondLimit, EClockError);
// The PC's clock is not synchronised and the set was not forced.
KESTRO_DECLARE_EXCEPTION(EPcClockNotSynchronised, Exception);

struct TOffsetResult {
    double OffsetMs = 0;      // meter minus PC: the middle of the interval
    double UncertaintyMs = 0; // half the interval's width: the offset is OffsetMs +- this
    double LowMs = 0;         // the interval itself
    double HighMs = 0;
    bool TargetReached = false; // narrower than the target width (else the budget ran out, or
                                // the meter's turnaround allows no narrower interval)
    int Reads = 0;
    int WidenedReads = 0;    // reads counted with their whole exchange: all once a reply came
                             // sooner than the line allows (the line keeps no timing), else none
    double DurationMs = 0;   // time taken by the measurement
    double MeanWindowMs = 0; // mean read window: how long the meter took to answer
};

// An offset as printed, in whole milliseconds: the printed range holds the measured interval.
struct TPrintedOffset {
    std::int64_t OffsetMs = 0;
    std::int64_t UncertaintyMs = 0;
};
TPrintedOffset PrintedOffset(const TOffsetResult& offset);

// How the meter took over the written time, as the measurement after the set shows it.
enum class TTakeOver {
    RestartsSecond, // its second starts over at the take-over: set to the millisecond
    KeepsFraction,  // it keeps the fraction of the second it had: only whole seconds can be set
    Undetermined,   // both fit: the offset before the set was close to whole seconds
    Unexplained,    // neither fits the offset after the set
};
std::string TakeOverText(TTakeOver takeOver);

struct TClockSyncOptions {
    TClockOffsetOptions Offset; // the measurement after the set
    // The measurement before the set only tells how far off the meter was and, against the
    // one after, how it took the time over; the set itself does not depend on it, so a wider
    // target saves reads (about 2 s at 9600 baud, 4 s at 300).
    double BeforeTargetWidthMs = 150;
    bool Force = false; // set the meter even when the PC's clock is not synchronised
    // The offset after the set may be this far off, or as far as the measurement after it is
    // uncertain if that is more. Beyond it the set is corrected once.
    double MaxOffsetMs = 50;
};

struct TSyncResult {
    TPcClockStatus PcClock;
    TOffsetResult Before;
    TOffsetResult After;    // after the last write
    TDateTime Written = 0;  // the date and time of the last write, taken over at its second
                            // boundary (a meter that keeps its fraction: within its second)
    double WriteLateMs = 0; // how much later than planned the last request was handed over
    TTakeOver TakeOver = TTakeOver::Unexplained; // as the first write showed it
    int Writes = 0;                              // 1, or 2 with the correction
    int Reads = 0;                   // every clock read, before, between and after the writes
    int WidenedReads = 0;            // of those, the ones counted with their whole exchange
    double LimitMs = 0;              // the limit the offset after was held to (whole milliseconds)
    bool LimitIsUncertainty = false; // the measured uncertainty, larger than the maximum asked
    bool WithinLimit = false;        // the printed offset after lies within the limit
    double DurationMs = 0;           // the whole set, every measurement included
};

// "The meter's clock is +312 ms +- 9 ms off after the set, beyond the limit of 50 ms", and for
// a meter that keeps its fraction that only whole seconds can be set.
std::string BeyondLimitText(const TSyncResult& result);

// Reads the meter's clock until the offset is known to the target width or the read budget
// is spent. Raises EClockContradiction when the reads fit no offset.
TOffsetResult MeasureClockOffset(TCommKestro& engine, TKestroAddr addr, const TPcClock& pc,
                                 const TClockOffsetOptions& options = {});

// Checks the PC's clock (EPcClockNotSynchronised unless forced), measures the offset, sends
// the PC's time so that the meter takes it over on a second boundary, and measures again. When
// the offset after lies beyond the limit, one corrected write follows (for a meter that keeps
// the fraction of its second: the whole second that leaves the smallest offset), measured
// again; the result says whether it is within the limit (it raises nothing for that). Each
// write is one attempt whatever the engine's retries: a repeated write would come too late.
TSyncResult SyncClock(TCommKestro& engine, TKestroAddr addr, const TPcClock& pc,
                      const TClockSyncOptions& options = {});

// The take-over that explains the offset after a set: `before` and `after` as measured, the
// window of the write (PC times from the end of its request to the start of its reply) and the
// whole second it wrote. `toleranceMs` widens every comparison.
TTakeOver ClassifyTakeOver(const TOffsetResult& before, double writeStartMs, double writeEndMs,
                           std::int64_t writtenSeconds, const TOffsetResult& after,
                           double toleranceMs = 5);
