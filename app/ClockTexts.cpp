#include "app/ClockTexts.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

constexpr double DayMs = 86400.0 * 1000;

std::string Printed(const char* format, auto... values) {
    char text[96];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

} // namespace

std::string ClockOffsetText(TDateTime meter, TDateTime pc) {
    const double offsetMs = (meter - pc) * DayMs + 500;
    const std::int64_t seconds = std::llround(offsetMs / 1000);
    if (seconds == 0)
        return "meter on time";
    const char* side = seconds < 0 ? "behind" : "ahead";
    const std::int64_t size = seconds < 0 ? -seconds : seconds;
    if (size < 60)
        return Printed("meter %lld s %s", static_cast<long long>(size), side);
    const auto days = static_cast<long long>(size / 86400);
    const auto hours = static_cast<int>(size / 3600 % 24);
    const auto minutes = static_cast<int>(size / 60 % 60);
    const auto secs = static_cast<int>(size % 60);
    if (days > 0)
        return Printed("meter %lld d %02d:%02d:%02d %s", days, hours, minutes, secs, side);
    return Printed("meter %02d:%02d:%02d %s", hours, minutes, secs, side);
}

std::string MeasuringText(int reads) {
    const std::string text = "Measuring the meter's clock...";
    if (reads <= 0)
        return text;
    return text + Printed(" (%d %s)", reads, reads == 1 ? "read" : "reads");
}

std::string ClockSetText(const TSyncResult& result) {
    const long long after = std::llround(result.After.OffsetMs);
    // An uncertainty is never rounded down: no precision is claimed that was not measured.
    const long long uncertainty = static_cast<long long>(std::ceil(result.After.UncertaintyMs));
    return Printed("Clock set: %+lld ms \u00b1 %lld ms (was %+.3f s)", after, uncertainty,
                   result.Before.OffsetMs / 1000);
}
