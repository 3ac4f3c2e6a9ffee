#include "app/PcClock.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>

#ifdef __linux__
#include <sys/timex.h>
#endif

namespace {

std::tm LocalTime(std::time_t seconds) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    return local;
}

} // namespace

double LocalCivilMs(std::chrono::system_clock::time_point instant) {
    using namespace std::chrono;
    const auto sinceEpoch = duration<double, std::milli>(instant.time_since_epoch()).count();
    const auto wholeSeconds = static_cast<std::time_t>(std::floor(sinceEpoch / 1000));
    const std::tm local = LocalTime(wholeSeconds);
    const year_month_day date{year(local.tm_year + 1900),
                              month(static_cast<unsigned>(local.tm_mon + 1)),
                              day(static_cast<unsigned>(local.tm_mday))};
    // A leap second (tm_sec 60) counts as the second before it.
    const std::int64_t civilSeconds =
        static_cast<std::int64_t>(sys_days(date).time_since_epoch().count()) * 86400 +
        local.tm_hour * 3600 + local.tm_min * 60 + std::min(local.tm_sec, 59);
    const double zoneMs = static_cast<double>(civilSeconds - wholeSeconds) * 1000;
    return sinceEpoch + zoneMs;
}

TClockPair ReadClockPair(const std::function<std::chrono::steady_clock::time_point()>& steady,
                         const std::function<std::chrono::system_clock::time_point()>& system) {
    using namespace std::chrono;
    constexpr auto Tight = microseconds(20);
    const auto giveUp = steady() + milliseconds(20);
    TClockPair best{};
    auto bestWidth = steady_clock::duration::max();
    for (int tries = 1;; ++tries) {
        const auto before = steady();
        const auto read = system();
        const auto after = steady();
        if (after - before < bestWidth) {
            bestWidth = after - before;
            best = {before + bestWidth / 2, read};
        }
        if (tries >= 3 && (bestWidth <= Tight || after >= giveUp))
            return best;
    }
}

TPcClockStatus CheckSystemClock() {
    using TState = TPcClockStatus::TState;
#ifdef __linux__
    timex state{};
    const int result = ::adjtimex(&state);
    if (result == -1)
        return {TState::NotChecked,
                std::string("The PC's clock could not be checked: ") + std::strerror(errno)};
    if (result == TIME_ERROR || (state.status & STA_UNSYNC) != 0)
        return {TState::NotSynchronised, "The PC's clock is not synchronised"};
    return {TState::Synchronised, "The PC's clock is synchronised (estimated error " +
                                      std::to_string(state.esterror / 1000) + " ms)"};
#elif defined(_WIN32)
    return {TState::NotChecked, "The PC's clock is not checked on Windows"};
#else
    return {TState::NotChecked, "The PC's clock is not checked on this system"};
#endif
}

TPcClock SystemPcClock() {
    const TClockPair pair =
        ReadClockPair(std::chrono::steady_clock::now, std::chrono::system_clock::now);
    const auto steadyAnchor = pair.Steady;
    const double localAnchor = LocalCivilMs(pair.System);
    return TPcClock{
        [steadyAnchor, localAnchor](std::chrono::steady_clock::time_point instant) {
            return localAnchor +
                   std::chrono::duration<double, std::milli>(instant - steadyAnchor).count();
        },
        CheckSystemClock};
}
