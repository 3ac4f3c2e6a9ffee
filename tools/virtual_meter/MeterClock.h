#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace vmeter {

// How a meter takes over a written time.
enum class TTakeOver {
    Restart,      // its second starts over at the take-over
    KeepFraction, // it sets the whole seconds and keeps the fraction of the second it had
};

std::optional<TTakeOver> ParseTakeOver(const std::string& name); // "restart", "keep"

struct TClockOptions {
    double OffsetMs = 0; // meters' clock minus the PC's local clock at the start
    double DriftPpm = 0; // how much faster the meters' clock runs, in parts per million
    TTakeOver TakeOver = TTakeOver::Restart;
};

// The meters' clock with its fraction of a second, running against the PC's local wall-clock
// time. The PC's time is the system clock tied once to the steady clock, in milliseconds
// counted as if local time were UTC, so a meter's date and time compare directly.
class TMeterClock {
public:
    using TInstant = std::chrono::steady_clock::time_point;

    explicit TMeterClock(TClockOptions options = {});

    // The whole second the meters show at `at` (local civil seconds).
    std::int64_t Read(TInstant at) const;
    // Takes over `seconds` (local civil seconds) at `at`, the way the options say.
    void Write(std::int64_t seconds, TInstant at);
    // Meters' clock minus the PC's, in milliseconds, at `at`.
    double OffsetMs(TInstant at) const;

private:
    double PcMs(TInstant at) const;
    double MeterMs(TInstant at) const;

    TClockOptions FOptions;
    TInstant FSteadyAnchor;
    double FPcAnchorMs;
    // The meters' time was FMeterBaseMs when the PC's was FPcBaseMs; it runs from there.
    double FPcBaseMs;
    double FMeterBaseMs;
};

} // namespace vmeter
