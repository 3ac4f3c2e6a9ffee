#include "cli/Figures.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr std::int64_t MinuteMs = 60 * 1000;
constexpr std::int64_t DayMs = 86400 * 1000;

bool OutputIsUtf8() {
#ifdef _WIN32
    return ::GetConsoleOutputCP() == CP_UTF8;
#else
    // The locale of the character set, as the C library takes it from the environment.
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"})
        if (const char* value = std::getenv(name); value != nullptr && *value != '\0')
            return IsUtf8Locale(value);
    return false;
#endif
}

// "d hh:mm:ss" of a non-negative span, days only when there are any, and ".mmm" when asked.
std::string Span(std::int64_t ms, bool milliseconds) {
    const auto days = static_cast<long long>(ms / DayMs);
    const auto hours = static_cast<int>(ms / 3600000 % 24);
    const auto minutes = static_cast<int>(ms / 60000 % 60);
    const auto seconds = static_cast<int>(ms / 1000 % 60);
    char text[64];
    int length = days > 0 ? std::snprintf(text, sizeof text, "%lld d ", days) : 0;
    length += std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length),
                            "%02d:%02d:%02d", hours, minutes, seconds);
    if (milliseconds)
        std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), ".%03d",
                      static_cast<int>(ms % 1000));
    return text;
}

std::string Signed(std::int64_t value, const char* unit) {
    char text[40];
    std::snprintf(text, sizeof text, "%+lld %s", static_cast<long long>(value), unit);
    return text;
}

std::int64_t Magnitude(std::int64_t value) {
    return value < 0 ? -value : value;
}

} // namespace

const std::string& PlusMinus() {
    static const std::string symbol = OutputIsUtf8() ? "\u00b1" : "+-";
    return symbol;
}

bool IsUtf8Locale(const std::string& name) {
    std::string lower;
    for (char ch : name)
        if (ch != '-')
            lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    // The character set follows the dot, before any "@modifier".
    const std::size_t dot = lower.find('.');
    return dot != std::string::npos && lower.compare(dot + 1, 4, "utf8") == 0;
}

std::string MillisecondsText(std::int64_t ms) {
    if (Magnitude(ms) < MinuteMs)
        return Signed(ms, "ms");
    return (ms < 0 ? "-" : "+") + Span(Magnitude(ms), true);
}

std::string SecondsText(std::int64_t seconds) {
    if (Magnitude(seconds) * 1000 < MinuteMs)
        return Signed(seconds, "s");
    return (seconds < 0 ? "-" : "+") + Span(Magnitude(seconds) * 1000, false);
}

std::string OffsetText(std::int64_t offsetMs, std::int64_t uncertaintyMs, bool wholeSeconds) {
    char text[96];
    if (!wholeSeconds) {
        std::snprintf(text, sizeof text, "%9s %s %lld ms", MillisecondsText(offsetMs).c_str(),
                      PlusMinus().c_str(), static_cast<long long>(uncertaintyMs));
        return text;
    }
    // Rounding the middle to the second moves it; the range grows by as much.
    const auto seconds = static_cast<std::int64_t>(std::llround(offsetMs / 1000.0));
    const std::int64_t moved = Magnitude(offsetMs - seconds * 1000);
    const std::int64_t range = (uncertaintyMs + moved + 999) / 1000;
    std::snprintf(text, sizeof text, "%9s %s %lld s", SecondsText(seconds).c_str(),
                  PlusMinus().c_str(), static_cast<long long>(range));
    return text;
}

std::string IsoLocalTime(TDateTime local, bool milliseconds) {
    const std::string text =
        FormatDateTime(milliseconds ? "yyyy-mm-ddThh:nn:ss.zzz" : "yyyy-mm-ddThh:nn:ss", local);
    // The zone's offset then: the civil time counted as if it were UTC, minus the instant the
    // C library finds for it (daylight saving time as it was in force then).
    const TDateParts date = DecodeDate(local);
    const TTimeParts time = DecodeTime(local);
    std::tm civil{};
    civil.tm_year = date.Year - 1900;
    civil.tm_mon = date.Month - 1;
    civil.tm_mday = date.Day;
    civil.tm_hour = time.Hour;
    civil.tm_min = time.Minute;
    civil.tm_sec = time.Second;
    civil.tm_isdst = -1;
    const std::time_t instant = std::mktime(&civil);
    if (instant == static_cast<std::time_t>(-1))
        return text; // a time the C library cannot place: no offset rather than a wrong one
    const std::chrono::sys_days day{std::chrono::year(date.Year) /
                                    static_cast<unsigned>(date.Month) /
                                    static_cast<unsigned>(date.Day)};
    const std::int64_t civilSeconds =
        static_cast<std::int64_t>(day.time_since_epoch().count()) * 86400 + time.Hour * 3600 +
        time.Minute * 60 + time.Second;
    const std::int64_t offset = (civilSeconds - static_cast<std::int64_t>(instant)) / 60;
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+',
                  static_cast<int>(Magnitude(offset) / 60),
                  static_cast<int>(Magnitude(offset) % 60));
    return text + zone;
}

TOffsetRange WholeSecondRead(double meterMs, double sentMs, double receivedMs) {
    const double low = meterMs - receivedMs;
    const double high = meterMs + 1000 - sentMs;
    const double middle = (low + high) / 2;
    const auto offset = static_cast<std::int64_t>(std::llround(middle));
    const double moved = std::fabs(middle - static_cast<double>(offset));
    return {offset, static_cast<std::int64_t>(std::ceil((high - low) / 2 + moved))};
}
