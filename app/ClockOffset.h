#pragma once

#include "app/Stop.h"

#include <cstdint>
#include <optional>

// The offset of a meter's clock from the PC's clock (meter minus PC), narrowed down read by
// read. A meter's clock shows whole seconds. A read tells the second the meter showed at an
// instant known only to lie in a window of the PC's clock: from the end of the request on the
// line to the start of the reply on the line. So each read confines the offset to an interval,
// and the reads together to the intersection of their intervals. Times and offsets are in
// milliseconds; the PC's time is its local wall-clock time counted as if it were UTC.
// Pure logic: no clock and no line of its own, so it can be driven by any clock.

struct TClockOffsetOptions {
    double TargetWidthMs = 20;    // done once the interval is narrower than this
    int ReadBudget = 40;          // done after this many reads, whatever the width
    TStopRequested StopRequested; // asked before every read and while waiting for the next
};

// The expected timing of one read, for planning the next one.
struct TReadTiming {
    double RequestLineMs; // the request's time on the line
    double ReplyLineMs;   // the reply's time on the line
};

class TClockOffset {
public:
    explicit TClockOffset(TClockOffsetOptions options = {});

    // One read: the meter showed `meterSeconds` (its local time, whole seconds counted as the
    // PC's are) at an instant between windowStartMs and windowEndMs of the PC's clock.
    void AddRead(std::int64_t meterSeconds, double windowStartMs, double windowEndMs);

    int Reads() const { return FReads; }
    // No offset fits all reads: the meter's clock stepped between them, or it is not counting.
    bool Contradicted() const { return FReads > 0 && FLow > FHigh; }
    // The interval so far (meaningful after a read and unless contradicted).
    double LowMs() const { return FLow; }
    double HighMs() const { return FHigh; }
    double WidthMs() const { return FHigh - FLow; }
    double MiddleMs() const { return (FLow + FHigh) / 2; }
    double HalfWidthMs() const { return WidthMs() / 2; }
    // Narrower than the target, with the meter seen counting (two reads showing different
    // seconds): a clock that is not counting looks, for up to a second, like one about to tick.
    bool TargetReached() const;
    bool SeenCounting() const { return FReads > 0 && FFirstShown != FLastShown; }

    // When to hand the next request to the port (PC time), at `earliestMs` or later: the
    // instant whose read gains the most information per millisecond spent, so a wide interval
    // is narrowed by reads in quick succession and a narrow one by a read whose window sits
    // on the second boundary that splits it in two. Empty when there is nothing left to do:
    // no read yet, the target reached, the budget spent, a contradiction, or no read that
    // could narrow the interval any more (it is as narrow as the meter's turnaround allows).
    // Until the meter is seen counting, the next read is planned at the earliest at least.
    std::optional<double> NextSendMs(double earliestMs, const TReadTiming& timing) const;

    // The mean width of the read windows seen so far (the meter's turnaround, mostly).
    double MeanWindowMs() const { return FReads > 0 ? FWindowSum / FReads : 0; }

private:
    TClockOffsetOptions FOptions;
    int FReads = 0;
    double FLow = 0;
    double FHigh = 0;
    double FWindowSum = 0;
    std::int64_t FFirstShown = 0;
    std::int64_t FLastShown = 0;
};
