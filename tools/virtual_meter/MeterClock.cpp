#include "MeterClock.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <utility>

namespace vmeter {

namespace {

constexpr double SecondMs = 1000;

// A steady-clock instant and the system clock read with it, from the tightest of a few brackets
// steady, system, steady: a pause between the two reads (the meter's process preempted on a busy
// machine) would otherwise shift the meter's idea of the PC's time, its truth, by its length.
std::pair<std::chrono::steady_clock::time_point, std::chrono::system_clock::time_point>
ReadClockPair() {
    using namespace std::chrono;
    const auto giveUp = steady_clock::now() + milliseconds(20);
    std::pair<steady_clock::time_point, system_clock::time_point> best;
    auto bestWidth = steady_clock::duration::max();
    for (int tries = 1;; ++tries) {
        const auto before = steady_clock::now();
        const auto system = system_clock::now();
        const auto after = steady_clock::now();
        if (after - before < bestWidth) {
            bestWidth = after - before;
            best = {before + bestWidth / 2, system};
        }
        if (tries >= 3 && (bestWidth <= microseconds(20) || after >= giveUp))
            return best;
    }
}

double LocalCivilMs(std::chrono::system_clock::time_point now) {
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

TMeterClock::TMeterClock(TClockOptions options) : FOptions(options) {
    const auto [steady, system] = ReadClockPair();
    FSteadyAnchor = steady;
    FPcAnchorMs = LocalCivilMs(system);
    FPcBaseMs = FPcAnchorMs;
    FMeterBaseMs = FPcAnchorMs + options.OffsetMs;
}

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
