#include "cli/Sync.h"

#include "app/MeterSession.h"

void SyncMeterClock(TMeterSession& session, TResult& result) {
    const TDateTime now = Now();
    session.SetDateTime(TimeOf(now), DateOf(now));
    result.PcTime = now;
    result.MeterTime = now;
}
