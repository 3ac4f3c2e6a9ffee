#pragma once

#include "cli/Result.h"

#include <string>

class TMeterSession;
struct TOffsetResult;

// What "kestro sync" does to one meter inside its open session: measures the meter's clock,
// sends the PC's time so that the meter takes it over on a second boundary, and measures again.
// `force` sets it even when the PC's clock is not synchronised. Raises EClockBeyondLimit when
// the offset after lies beyond `maxOffsetMs` (or the uncertainty, if more) even after the
// corrected set.
void SyncMeterClock(TMeterSession& session, TResult& result, bool force, double maxOffsetMs);

// "kestro offset" and "kestro read --precise": the meter's clock against the PC's, measured to
// `targetWidthMs`.
void MeasureMeterOffset(TMeterSession& session, TResult& result, double targetWidthMs);
