#include "app/ClockSync.h"

#include "app/ClockMeasure.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

KESTRO_DEFINE_EXCEPTION(EPcClockNotSynchronised, Exception);

namespace {

// Planning runs this far ahead of now, so the planned instant has not passed when it is due.
constexpr double PlanLeadMs = 3;
// After a set the meter's phase is known from the write itself, up to this.
constexpr double SetPhaseMarginMs = 5;
// A meter that keeps its fraction is moved by whole seconds only when its offset is known this
// closely: its second at the take-over must be beyond doubt.
constexpr double KeptSecondDoubtMs = 250;
// The clock data of a write, "hhnnss,ddmmyy", for the length of its frame.
const std::string ClockDataShape = "000000,010100";

const std::string SPcClockNotSynchronised =
    "The PC's clock is not synchronised: the meter can only be as right as the PC";

// Sets the engine's attempts for a while and puts them back on every way out.
class TAttemptsGuard {
public:
    TAttemptsGuard(TCommKestro& engine, std::int32_t attempts)
        : FEngine(engine), FSaved(engine.Retries) {
        FEngine.Retries = attempts;
    }
    ~TAttemptsGuard() { FEngine.Retries = FSaved; }
    TAttemptsGuard(const TAttemptsGuard&) = delete;
    TAttemptsGuard& operator=(const TAttemptsGuard&) = delete;

private:
    TCommKestro& FEngine;
    std::int32_t FSaved;
};

bool Overlap(double low1, double high1, double low2, double high2, double tolerance) {
    return low1 <= high2 + tolerance && low2 <= high1 + tolerance;
}

// One clock write and how the line timed it.
struct TWrite {
    std::int64_t Second = 0; // the whole second written
    double LateMs = 0;       // handed over this much later than planned
    double ReferenceMs = 0;  // the end of its request (the hand-over on a line without timing)
    TExchangeWindow Window{};
};

// The meter's whole seconds, its date and time set as one attempt, handed to the port at PC
// time `sendMs`.
TWrite WriteAt(TCommKestro& engine, TKestroAddr addr, const TPcClock& pc, std::int64_t second,
               double sendMs, const TClockOffset& reads, const TStopRequested& stopRequested) {
    const TDateTime written = DateTimeOf(second);
    {
        TAttemptsGuard once(engine, 1);
        SleepUntil(SteadyAt(pc, sendMs), stopRequested);
        engine.SetDateTime(addr, written - std::floor(written), std::floor(written));
    }
    TWrite write;
    write.Second = second;
    const double sent = pc.LocalMs(engine.RequestSentAt);
    write.LateMs = sent - sendMs;
    write.Window = LastExchangeWindow(engine, pc);
    const TReadTiming timing = ExchangeTiming(engine, engine.Request, engine.Response);
    write.ReferenceMs = sent + (reads.LineTimed() ? timing.RequestLineMs : 0);
    return write;
}

// From handing a write over to the meter's taking it over: the request's time on a timed line,
// then the delay the reads showed.
double TakeOverLeadMs(const TCommKestro& engine, TKestroAddr addr, const TClockOffset& reads) {
    const TKestroPacket write{'W', addr, 'C', ClockDataShape};
    const TReadTiming timing = ExchangeTiming(engine, write, write);
    return (reads.LineTimed() ? timing.RequestLineMs : 0) + reads.ReadDelayMs();
}

// A write that the meter takes over on the PC's next second boundary, when it restarts its
// second then.
TWrite WriteOnBoundary(TCommKestro& engine, TKestroAddr addr, const TPcClock& pc,
                       const TClockOffset& reads, const TStopRequested& stopRequested) {
    const double lead = TakeOverLeadMs(engine, addr, reads);
    const double earliest = pc.LocalMs(TSteady::now()) + PlanLeadMs + lead;
    const auto second = static_cast<std::int64_t>(std::ceil(earliest / SecondMs));
    return WriteAt(engine, addr, pc, second, static_cast<double>(second) * SecondMs - lead, reads,
                   stopRequested);
}

// A write to a meter that keeps the fraction of its second: it moves the meter by `seconds`
// whole seconds, taken over in the middle of the meter's second so that which second it was in
// is beyond doubt.
TWrite WriteShifted(TCommKestro& engine, TKestroAddr addr, const TPcClock& pc,
                    const TMeasurement& now, std::int64_t seconds, const TClockOffset& reads,
                    const TStopRequested& stopRequested) {
    const double lead = TakeOverLeadMs(engine, addr, reads);
    const double offset = now.Result.OffsetMs;
    const double earliest = pc.LocalMs(TSteady::now()) + PlanLeadMs + lead;
    const double meterSecond = std::ceil((earliest + offset - SecondMs / 2) / SecondMs);
    const double takeOver = meterSecond * SecondMs + SecondMs / 2 - offset;
    return WriteAt(engine, addr, pc, static_cast<std::int64_t>(meterSecond) + seconds,
                   takeOver - lead, reads, stopRequested);
}

// The meter's phase after a write, as the write itself tells it: for a meter that restarts its
// second, its new time counted from the write's take-over.
TPhaseExpectation PhaseAfter(const TWrite& write, const TClockOffset& reads) {
    TPhaseExpectation expected = reads.Expectation();
    const double phase = static_cast<double>(write.Second) * SecondMs - write.ReferenceMs;
    expected.LowMs = phase - SetPhaseMarginMs;
    expected.HighMs = phase + SetPhaseMarginMs;
    return expected;
}

// For a meter that keeps its fraction: the phase it had, moved by whole seconds.
TPhaseExpectation PhaseShifted(const TClockOffset& reads, std::int64_t seconds) {
    TPhaseExpectation expected = reads.Expectation();
    const double shift = static_cast<double>(seconds) * SecondMs;
    expected.LowMs += shift - SetPhaseMarginMs;
    expected.HighMs += shift + SetPhaseMarginMs;
    return expected;
}

void HoldToLimit(TSyncResult& result, double maxOffsetMs) {
    const TPrintedOffset after = PrintedOffset(result.After);
    const auto asked = static_cast<std::int64_t>(std::ceil(maxOffsetMs));
    result.LimitIsUncertainty = after.UncertaintyMs > asked;
    result.LimitMs = static_cast<double>(std::max(asked, after.UncertaintyMs));
    result.WithinLimit = static_cast<double>(std::llabs(after.OffsetMs)) <= result.LimitMs;
}

} // namespace

std::string TakeOverText(TTakeOver takeOver) {
    switch (takeOver) {
    case TTakeOver::RestartsSecond:
        return "The meter restarts its second when set";
    case TTakeOver::KeepsFraction:
        return "The meter keeps the fraction of its second when set: only whole seconds can be "
               "set";
    case TTakeOver::Undetermined:
        return "Whether the meter restarts its second when set could not be told (it was close "
               "to whole seconds before)";
    case TTakeOver::Unexplained:
        break;
    }
    return "The meter's offset after the set fits neither a restarted nor a kept second";
}

std::string BeyondLimitText(const TSyncResult& result) {
    const TPrintedOffset after = PrintedOffset(result.After);
    char text[160];
    std::snprintf(text, sizeof text,
                  "The meter's clock is %+lld ms +- %lld ms off after the set, beyond the limit "
                  "of %lld ms",
                  static_cast<long long>(after.OffsetMs),
                  static_cast<long long>(after.UncertaintyMs),
                  static_cast<long long>(result.LimitMs));
    std::string message = text;
    if (result.TakeOver == TTakeOver::KeepsFraction)
        message += ": the meter keeps the fraction of its second when set, only whole seconds "
                   "can be set";
    return message;
}

TTakeOver ClassifyTakeOver(const TOffsetResult& before, double writeStartMs, double writeEndMs,
                           std::int64_t writtenSeconds, const TOffsetResult& after,
                           double toleranceMs) {
    const double written = static_cast<double>(writtenSeconds) * SecondMs;
    // Restarted: the meter was at `written` when the PC was within the write's window.
    const bool restarts = Overlap(after.LowMs, after.HighMs, written - writeEndMs,
                                  written - writeStartMs, toleranceMs);
    // Kept: the meter's time at the take-over, before.offset + pc, lost its whole seconds to
    // `written`, so the offset moved by whole seconds from what it was.
    const double oldLow = std::floor((writeStartMs + before.LowMs) / SecondMs);
    const double oldHigh = std::floor((writeEndMs + before.HighMs) / SecondMs);
    bool keeps = false;
    for (double old = oldLow; old <= oldHigh; ++old) {
        const double shift = (static_cast<double>(writtenSeconds) - old) * SecondMs;
        keeps = keeps || Overlap(after.LowMs, after.HighMs, before.LowMs + shift,
                                 before.HighMs + shift, toleranceMs);
    }
    if (restarts && keeps)
        return TTakeOver::Undetermined;
    if (restarts)
        return TTakeOver::RestartsSecond;
    if (keeps)
        return TTakeOver::KeepsFraction;
    return TTakeOver::Unexplained;
}

TSyncResult SyncClock(TCommKestro& engine, TKestroAddr addr, const TPcClock& pc,
                      const TClockSyncOptions& options) {
    const auto started = TSteady::now();
    const TStopRequested& stop = options.Offset.StopRequested;
    TSyncResult result;
    result.PcClock = pc.Check();
    if (result.PcClock.State == TPcClockStatus::TState::NotSynchronised && !options.Force)
        throw EPcClockNotSynchronised(SPcClockNotSynchronised);

    // The measurement before only tells how far off the meter was, how it and the line answer,
    // and, against the one after, how it took the time over: a wider target saves reads.
    TClockOffsetOptions beforeOptions = options.Offset;
    beforeOptions.TargetWidthMs =
        std::max(beforeOptions.TargetWidthMs, options.BeforeTargetWidthMs);
    const TMeasurement before = Measure(engine, addr, pc, beforeOptions, std::nullopt);
    result.Before = before.Result;

    TWrite write = WriteOnBoundary(engine, addr, pc, before.Offset, stop);
    TMeasurement after =
        Measure(engine, addr, pc, options.Offset, PhaseAfter(write, before.Offset));
    result.TakeOver = ClassifyTakeOver(result.Before, write.Window.StartMs, write.Window.EndMs,
                                       write.Second, after.Result);
    result.Writes = 1;
    result.Reads = before.Result.Reads + after.Result.Reads;
    result.WidenedReads = before.Result.WidenedReads + after.Result.WidenedReads;
    result.After = after.Result;
    HoldToLimit(result, options.MaxOffsetMs);

    if (!result.WithinLimit) {
        // One correction. A meter that keeps its fraction can only be moved by whole seconds,
        // which helps only when it is more than half a second off.
        std::optional<TPhaseExpectation> expected;
        if (result.TakeOver != TTakeOver::KeepsFraction) {
            write = WriteOnBoundary(engine, addr, pc, before.Offset, stop);
            expected = PhaseAfter(write, before.Offset);
        } else if (const auto seconds = -std::llround(after.Result.OffsetMs / SecondMs);
                   seconds != 0 && after.Result.UncertaintyMs < KeptSecondDoubtMs) {
            write = WriteShifted(engine, addr, pc, after, seconds, before.Offset, stop);
            expected = PhaseShifted(after.Offset, seconds);
        }
        if (expected) {
            after = Measure(engine, addr, pc, options.Offset, expected);
            ++result.Writes;
            result.Reads += after.Result.Reads;
            result.WidenedReads += after.Result.WidenedReads;
            result.After = after.Result;
            HoldToLimit(result, options.MaxOffsetMs);
        }
    }
    result.Written = DateTimeOf(write.Second);
    result.WriteLateMs = write.LateMs;
    result.DurationMs = Ms(TSteady::now() - started);
    return result;
}
