#pragma once

#include "runtime/Exception.h"

#include <functional>

// An operation that the user stopped (Ctrl+C, a termination signal, Escape in the window)
// before it was done. Nothing more goes to the meter after it, except what ends link mode.
KESTRO_DECLARE_EXCEPTION(EStopped, Exception);

// Asked between the steps of a long operation and every few milliseconds while it waits:
// true stops it with EStopped. A window processes its pending input here. Empty: never stops.
using TStopRequested = std::function<bool()>;

// Raises EStopped when `stopRequested` says so.
void ThrowIfStopped(const TStopRequested& stopRequested);
