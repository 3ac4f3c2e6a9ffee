#pragma once

#include "runtime/DateTime.h"

#include <cstdint>
#include <string>

// How kestro writes its figures: offsets for people, times for scripts.

// "±" where the output is read as UTF-8 (the locale's character set; on Windows the console's
// code page), "+-" elsewhere. Decided once per run.
const std::string& PlusMinus();
// Whether a locale name ("C.UTF-8", "de_DE.utf8") has the UTF-8 character set.
bool IsUtf8Locale(const std::string& name);

// A signed offset to the millisecond, "+1226 ms"; from a minute on with hours, minutes and
// seconds, "-00:05:12.345", and from a day on with days, "-342 d 10:12:24.123".
std::string MillisecondsText(std::int64_t ms);
// A signed offset in whole seconds, "+12 s", "-10:12:24", "-342 d 10:12:24".
std::string SecondsText(std::int64_t seconds);
// An offset in milliseconds with its uncertainty, as text: in milliseconds, or in whole seconds
// where only those are known (then the uncertainty covers the rounding).
std::string OffsetText(std::int64_t offsetMs, std::int64_t uncertaintyMs, bool wholeSeconds);

// A local date and time in ISO 8601 with the PC's UTC offset in force then:
// "2026-12-09T18:02:05+01:00", with ".mmm" before the offset when asked.
std::string IsoLocalTime(TDateTime local, bool milliseconds);

// What one read of a meter's whole seconds tells of its offset (meter minus PC): it showed the
// second that began at `meterMs` at some instant from `sentMs` to `receivedMs` of the PC's
// clock, all local time in milliseconds. The middle, rounded, and the half-width, rounded up
// so that the range covers the truth.
struct TOffsetRange {
    std::int64_t OffsetMs;
    std::int64_t UncertaintyMs;
};
TOffsetRange WholeSecondRead(double meterMs, double sentMs, double receivedMs);
