#pragma once

#include "app/Stop.h"

#include <cstdint>
#include <optional>
#include <vector>

// The offset of a meter's clock from the PC's clock (meter minus PC), narrowed down read by
// read. A meter's clock shows whole seconds. A read tells the second the meter showed at an
// instant that the line places between the end of the request and the start of the reply: the
// PC knows when it handed the request over and when the reply's CR came, and the line takes
// 10 bits a byte. Real lines are not that exact: a device may take a byte as its stop bit
// starts, so bytes can count up to one byte time early, and USB adapters (latency timers),
// drivers and networks deliver late. So a read's window is
//   [sent + request line - one byte, received - reply line + one byte],
// which late delivery only widens. A read whose timing leaves no such window contradicts the
// line model, which no real serial line can: the line keeps no timing (a pseudo-terminal, a
// speed other than the one set). From then on every read counts with its whole exchange,
// [sent, received], which nothing can contradict, and is counted as widened. Each read
// confines the offset to an interval, and the reads together to the intersection of their
// intervals; no read can move it outside what the others allow.
//
// Reads are planned on a second quantity, the phase: the meter's time when it read its clock,
// minus the PC's time at the end of the request (as the line model places it). Where in its
// window the meter reads its clock is unknown, but it is much the same from read to read, so
// the phase is known far more closely than the offset, and it tells when a read will see the
// meter's second turn over. On a line without timing the phase counts from the hand-over of the
// request instead.
//
// Times and offsets are in milliseconds; the PC's time is its local wall-clock time counted as
// if it were UTC. Pure logic: no clock and no line of its own, so it can be driven by any clock.

struct TClockOffsetOptions {
    double TargetWidthMs = 20;    // done once the interval is narrower than this
    int ReadBudget = 40;          // done after this many reads, whatever the width
    TStopRequested StopRequested; // asked before every read and while waiting for the next
};

// The line times of a clock read, from its frames and the line speed.
struct TReadTiming {
    double RequestLineMs; // the request's time on the line
    double ReplyLineMs;   // the reply's time on the line
    double ByteMs = 0;    // one byte's time: how early the line may deliver
};

// Where the line model places the instant the meter acted on a request: within [StartMs,
// EndMs], Reference being the end of the request (the hand-over when widened).
struct TExchangeWindow {
    double StartMs;
    double EndMs;
    double ReferenceMs;
    bool Widened; // the timing did not fit the model: the whole exchange
};
TExchangeWindow ExchangeWindow(double sentMs, double receivedMs, const TReadTiming& timing);

// One read as the PC timed it.
struct TTimedRead {
    std::int64_t MeterSeconds; // the meter's time, whole seconds counted as the PC's are
    double SentMs;             // the request handed to the port
    double ReceivedMs;         // the reply's CR taken from the port
};

// What is known of a meter before a measurement: after a set, the set itself tells its phase,
// and the measurement before it how the meter and the line answer.
struct TPhaseExpectation {
    double LowMs;
    double HighMs;
    bool LineTimed = true;
    double WindowEndMs = 0; // the mean end of a read's window, after its reference instant
    double ExchangeMs = 0;  // the mean time from handing a request over to its reply
};

class TClockOffset {
public:
    explicit TClockOffset(TClockOffsetOptions options = {});

    void AddRead(const TTimedRead& read, const TReadTiming& timing);
    // Plans with this phase until a read shows it wrong. Before the first read.
    void Expect(const TPhaseExpectation& expectation);

    int Reads() const { return static_cast<int>(FReads.size()); }
    // The reads counted with their whole exchange: none, or all once the line showed no timing.
    int WidenedReads() const { return FTimed ? 0 : Reads(); }
    // No offset fits all reads: the meter's clock stepped between them, or it is not counting.
    bool Contradicted() const { return !FReads.empty() && FLow > FHigh; }
    // The interval so far (meaningful after a read and unless contradicted).
    double LowMs() const { return FLow; }
    double HighMs() const { return FHigh; }
    double WidthMs() const { return FHigh - FLow; }
    double MiddleMs() const { return (FLow + FHigh) / 2; }
    double HalfWidthMs() const { return WidthMs() / 2; }
    // Narrower than the target, with the meter seen counting (two reads showing different
    // seconds): a clock that is not counting looks, for up to a second, like one about to tick.
    bool TargetReached() const;
    bool SeenCounting() const;

    // Whether the line keeps its timing: no read contradicted the line model.
    bool LineTimed() const { return FTimed; }
    // How long after the end of a request (the hand-over on a line without timing) the meter
    // reads its clock, as the reads bound it: the middle of what they allow.
    double ReadDelayMs() const;
    // The phase: where the reads put it, or the expectation while no read contradicts it. When
    // the reads' own bounds cross (the meter's delay varies), the span between them.
    TPhaseExpectation Phase() const;
    // The mean width of the read windows seen so far (the meter's turnaround, mostly).
    double MeanWindowMs() const;
    // The phase and what the reads showed of the line, for the measurement after a set.
    TPhaseExpectation Expectation() const;

    // When to hand the next request to the port (PC time), at `earliestMs` or later: the
    // instant whose read is expected to narrow the interval the most per millisecond spent, so
    // a wide interval is narrowed by reads in quick succession and a narrow one by reads on the
    // meter's second boundary, just before and just after it. Empty when there is nothing left
    // to do: the target reached, the budget spent, a contradiction, or no read that would
    // narrow the interval enough to be worth its time (it is as narrow as the meter's
    // turnaround and the line allow). Until the meter is seen counting, the next read is
    // planned at the earliest at least.
    std::optional<double> NextSendMs(double earliestMs, const TReadTiming& timing) const;

private:
    struct TRead {
        std::int64_t Shown;
        double SentMs;
        double ReceivedMs;
        TExchangeWindow Model; // where the line model places the meter's act
    };
    struct TPlan;
    void Update();
    TPlan Planning(const TReadTiming& timing) const;
    // Where the meter read its clock: the line model's window while the line keeps its timing.
    TExchangeWindow WindowOf(const TRead& read) const;

    TClockOffsetOptions FOptions;
    std::vector<TRead> FReads;
    std::optional<TPhaseExpectation> FExpected;
    double FLow = 0;
    double FHigh = 0;
    bool FTimed = false;
    double FPhaseLow = 0; // may cross FPhaseHigh
    double FPhaseHigh = 0;
    double FDelayLow = 0;
    double FDelayHigh = 0;
};
