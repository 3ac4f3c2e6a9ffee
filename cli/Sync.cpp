#include "cli/Sync.h"

#include "app/ClockSync.h"
#include "app/MeterSession.h"
#include "cli/Interrupt.h"

#include <cmath>

namespace {

const char* TakeOverName(TTakeOver takeOver) {
    switch (takeOver) {
    case TTakeOver::RestartsSecond:
        return "restarts-second";
    case TTakeOver::KeepsFraction:
        return "keeps-fraction";
    case TTakeOver::Undetermined:
        return "undetermined";
    case TTakeOver::Unexplained:
        break;
    }
    return "unexplained";
}

} // namespace

void MeasureMeterOffset(TMeterSession& session, TResult& result, double targetWidthMs) {
    TClockOffsetOptions options;
    options.TargetWidthMs = targetWidthMs;
    // A stop signal ends the measurement within a slice of its wait, not at its next read.
    options.StopRequested = InterruptRequested;
    const TOffsetResult measured =
        MeasureClockOffset(session.Engine(), session.Target().Addr(), SystemPcClock(), options);
    const TPrintedOffset printed = PrintedOffset(measured);
    result.OffsetMs = printed.OffsetMs;
    result.UncertaintyMs = printed.UncertaintyMs;
    result.Reads = measured.Reads;
    result.WidenedReads = measured.WidenedReads;
}

void SyncMeterClock(TMeterSession& session, TResult& result, bool force, double maxOffsetMs) {
    TClockSyncOptions options;
    options.Force = force;
    options.MaxOffsetMs = maxOffsetMs;
    options.Offset.StopRequested = InterruptRequested;
    const TSyncResult sync =
        SyncClock(session.Engine(), session.Target().Addr(), SystemPcClock(), options);
    if (!sync.WithinLimit)
        throw EClockBeyondLimit(BeyondLimitText(sync));
    const TPrintedOffset before = PrintedOffset(sync.Before);
    const TPrintedOffset after = PrintedOffset(sync.After);
    result.MeterTime = sync.Written;
    result.OffsetBeforeMs = before.OffsetMs;
    result.UncertaintyBeforeMs = before.UncertaintyMs;
    result.OffsetMs = after.OffsetMs;
    result.UncertaintyMs = after.UncertaintyMs;
    result.Reads = sync.Reads;
    result.WidenedReads = sync.WidenedReads;
    result.MaxOffsetMs = std::llround(sync.LimitMs);
    result.LimitIsUncertainty = sync.LimitIsUncertainty;
    result.TakeOver = std::string(TakeOverName(sync.TakeOver)) + ": " + TakeOverText(sync.TakeOver);
    result.PcClock = sync.PcClock.Text;
}
