#pragma once

#include "cli/Result.h"

class TMeterSession;

// What "kestro sync" does to one meter inside its open session: sets the meter's clock to the
// PC's current date and time (whole seconds, as the window's Write current date/time) and
// records the time sent. The one place to change when sync sets the clock another way.
void SyncMeterClock(TMeterSession& session, TResult& result);
