#pragma once

#include "app/ClockSync.h"
#include "runtime/DateTime.h"

#include <string>

// The window's texts about a meter's clock.

// The meter's offset to the PC after a read, in whole seconds: "meter 2 s behind", "meter 3 s
// ahead", "meter on time"; from a minute on with hours and minutes, "meter 1 d 02:03:04 ahead".
// `meter` is the date and time the meter showed (whole seconds) and `pc` the PC's time when its
// reply came; the meter's second had begun up to a second before, so its middle counts.
std::string ClockOffsetText(TDateTime meter, TDateTime pc);

// The progress of a synchronisation: "Measuring the meter's clock..." and, once reads have
// been made, their number.
std::string MeasuringText(int reads);

// The result of a synchronisation: "Clock set: +3 ms ± 6 ms (was -0.733 s)".
std::string ClockSetText(const TSyncResult& result);
