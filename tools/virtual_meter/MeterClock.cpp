#include "MeterClock.h"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace vmeter {

namespace {

constexpr double SecondMs = 1000;

double LocalCivilMsNow() {
    const auto now = std::chrono::system_clock::now();
    const double sinceEpoch =
        std::chrono::duration<double, std::milli>(now.time_since_epoch()).count();
    const auto seconds = static_cast<std::time_t>(std::floor(sinceEpoch / SecondMs));
    std::tm local{};
    localtime_r(&seconds, &local);
    const std::chrono::year_month_day date{
        std::chrono::year(local.tm_year + 1900),
        std::chrono::month(static_cast<unsigned>(local.tm_mon + 1)),
        std::chrono::day(static_cast<unsigned>(local.tm_mday))};
    const std::int64_t civil =
        static_cast<std::int64_t>(std::chrono::sys_days(date).time_since_epoch().count()) * 86400 +
        local.tm_hour * 3600 + local.tm_min * 60 + std::min(local.tm_sec, 59);
    return sinceEpoch + static_cast<double>(civil - seconds) * SecondMs;
}

} // namespace

std::optional<TTakeOver> ParseTakeOver(const std::string& name) {
    if (name == "restart")
        return TTakeOver::Restart;
    if (name == "keep")
        return TTakeOver::KeepFraction;
    return std::nullopt;
}

TMeterClock::TMeterClock(TClockOptions options)
    : FOptions(options), FSteadyAnchor(std::chrono::steady_clock::now()),
      FPcAnchorMs(LocalCivilMsNow()), FPcBaseMs(FPcAnchorMs),
      FMeterBaseMs(FPcAnchorMs + options.OffsetMs) {}

double TMeterClock::PcMs(TInstant at) const {
    return FPcAnchorMs + std::chrono::duration<double, std::milli>(at - FSteadyAnchor).count();
}

double TMeterClock::MeterMs(TInstant at) const {
    return FMeterBaseMs + (PcMs(at) - FPcBaseMs) * (1 + FOptions.DriftPpm * 1e-6);
}

std::int64_t TMeterClock::Read(TInstant at) const {
    return static_cast<std::int64_t>(std::floor(MeterMs(at) / SecondMs));
}

void TMeterClock::Write(std::int64_t seconds, TInstant at) {
    double fraction = 0;
    if (FOptions.TakeOver == TTakeOver::KeepFraction) {
        const double now = MeterMs(at);
        fraction = now - std::floor(now / SecondMs) * SecondMs;
    }
    FPcBaseMs = PcMs(at);
    FMeterBaseMs = static_cast<double>(seconds) * SecondMs + fraction;
}

double TMeterClock::OffsetMs(TInstant at) const {
    return MeterMs(at) - PcMs(at);
}

} // namespace vmeter
