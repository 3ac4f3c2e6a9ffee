#include "cli/Sync.h"

#include "app/ClockSync.h"
#include "app/MeterSession.h"

#include <cmath>

namespace {

std::int64_t Rounded(double ms) {
    return std::llround(ms);
}

// An uncertainty is never rounded down: no precision is claimed that was not measured.
std::int64_t RoundedUp(double ms) {
    return static_cast<std::int64_t>(std::ceil(ms));
}

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
    const TOffsetResult measured =
        MeasureClockOffset(session.Engine(), session.Target().Addr(), SystemPcClock(), options);
    result.OffsetMs = Rounded(measured.OffsetMs);
    result.UncertaintyMs = RoundedUp(measured.UncertaintyMs);
    result.Reads = measured.Reads;
}

void SyncMeterClock(TMeterSession& session, TResult& result, bool force) {
    TClockSyncOptions options;
    options.Force = force;
    const TSyncResult sync =
        SyncClock(session.Engine(), session.Target().Addr(), SystemPcClock(), options);
    result.MeterTime = sync.Written;
    result.OffsetBeforeMs = Rounded(sync.Before.OffsetMs);
    result.UncertaintyBeforeMs = RoundedUp(sync.Before.UncertaintyMs);
    result.OffsetMs = Rounded(sync.After.OffsetMs);
    result.UncertaintyMs = RoundedUp(sync.After.UncertaintyMs);
    result.Reads = sync.Before.Reads + sync.After.Reads;
    result.TakeOver = std::string(TakeOverName(sync.TakeOver)) + ": " + TakeOverText(sync.TakeOver);
    result.PcClock = sync.PcClock.Text;
}

std::string CheckPcClockForSync(bool force) {
    const TPcClockStatus status = SystemPcClock().Check();
    if (status.State == TPcClockStatus::TState::NotSynchronised && !force)
        RaiseException(EPcClockNotSynchronised::ClassType, status.Text);
    return status.State == TPcClockStatus::TState::Synchronised ? std::string() : status.Text;
}
