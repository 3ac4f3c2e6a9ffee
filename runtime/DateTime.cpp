#include "DateTime.h"

#include "Exception.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>

namespace {

using namespace std::chrono;

constexpr std::int64_t MSecsPerDay = 86'400'000;
constexpr sys_days DayZero = sys_days{year{1899} / December / 30};

// Whole days from day zero and the time of day in milliseconds, after rounding to the nearest
// millisecond. For values before day zero the fraction counts away from zero, so -1.25 is
// 29 December 1899 06:00 and -0.25 is 30 December 1899 06:00.
struct TSplit {
    std::int64_t Days;
    std::int64_t MSecOfDay;
};

TSplit Split(TDateTime value) {
    // Years 1 to 9999 span about 3.6 million days; far beyond that no calendar date exists.
    constexpr double Limit = 10'000'000.0;
    if (!std::isfinite(value) || std::fabs(value) > Limit)
        throw EConvertError("Invalid argument to date decode");
    const std::int64_t ms = std::llround(value * static_cast<double>(MSecsPerDay));
    return {ms / MSecsPerDay, std::llabs(ms) % MSecsPerDay};
}

year_month_day CalendarDate(TDateTime value) {
    return year_month_day{DayZero + days{Split(value).Days}};
}

void AppendZeroFilled(std::string& out, int value, int digits) {
    std::string text = std::to_string(value);
    if (static_cast<int>(text.size()) < digits)
        text.insert(0, static_cast<std::size_t>(digits) - text.size(), '0');
    out += text;
}

bool StartsWithToken(std::string_view pattern, std::size_t pos, std::string_view token) {
    if (pattern.size() - pos < token.size())
        return false;
    for (std::size_t i = 0; i < token.size(); ++i) {
        const char c = pattern[pos + i];
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != token[i])
            return false;
    }
    return true;
}

} // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31)
        return false;
    const year_month_day date{std::chrono::year{year},
                              std::chrono::month{static_cast<unsigned>(month)},
                              std::chrono::day{static_cast<unsigned>(day)}};
    if (!date.ok())
        return false;
    result = static_cast<TDateTime>((sys_days{date} - DayZero).count());
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result) {
    if (hour < 0 || hour >= 24 || minute < 0 || minute >= 60 || second < 0 || second >= 60 ||
        msec < 0 || msec >= 1000)
        return false;
    const std::int64_t ms = ((hour * 60LL + minute) * 60 + second) * 1000 + msec;
    result = static_cast<TDateTime>(ms) / static_cast<TDateTime>(MSecsPerDay);
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime result = 0;
    if (!TryEncodeDate(year, month, day, result))
        throw EConvertError("Invalid argument to date encode");
    return result;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
    TDateTime result = 0;
    if (!TryEncodeTime(hour, minute, second, msec, result))
        throw EConvertError("Invalid argument to time encode");
    return result;
}

TDateParts DecodeDate(TDateTime value) {
    const year_month_day date = CalendarDate(value);
    return {static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day()))};
}

TTimeParts DecodeTime(TDateTime value) {
    const std::int64_t ms = Split(value).MSecOfDay;
    return {static_cast<int>(ms / 3'600'000), static_cast<int>(ms / 60'000 % 60),
            static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000)};
}

TDateTime DateOf(TDateTime value) {
    return static_cast<TDateTime>(Split(value).Days);
}

TDateTime TimeOf(TDateTime value) {
    const TSplit split = Split(value);
    // Keeps the sign of the value, so DateOf + TimeOf gives the (rounded) value back.
    const double fraction = static_cast<double>(split.MSecOfDay) / static_cast<double>(MSecsPerDay);
    return value < 0 ? -fraction : fraction;
}

std::string FormatDateTime(std::string_view pattern, TDateTime value) {
    const TDateParts date = DecodeDate(value);
    const TTimeParts time = DecodeTime(value);
    std::string out;
    std::size_t pos = 0;
    while (pos < pattern.size()) {
        if (StartsWithToken(pattern, pos, "yyyy")) {
            AppendZeroFilled(out, date.Year, 4);
            pos += 4;
        } else if (StartsWithToken(pattern, pos, "zzz")) {
            AppendZeroFilled(out, time.MSec, 3);
            pos += 3;
        } else if (StartsWithToken(pattern, pos, "yy")) {
            AppendZeroFilled(out, date.Year % 100, 2);
            pos += 2;
        } else if (StartsWithToken(pattern, pos, "mm")) {
            AppendZeroFilled(out, date.Month, 2);
            pos += 2;
        } else if (StartsWithToken(pattern, pos, "dd")) {
            AppendZeroFilled(out, date.Day, 2);
            pos += 2;
        } else if (StartsWithToken(pattern, pos, "hh")) {
            AppendZeroFilled(out, time.Hour, 2);
            pos += 2;
        } else if (StartsWithToken(pattern, pos, "nn")) {
            AppendZeroFilled(out, time.Minute, 2);
            pos += 2;
        } else if (StartsWithToken(pattern, pos, "ss")) {
            AppendZeroFilled(out, time.Second, 2);
            pos += 2;
        } else {
            out += pattern[pos++];
        }
    }
    return out;
}

TDateTime Now() {
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
#ifdef _WIN32
    const bool converted = localtime_s(&local, &seconds) == 0;
#else
    const bool converted = localtime_r(&seconds, &local) != nullptr;
#endif
    if (!converted)
        throw EConvertError("Invalid argument to date encode");
    const auto msec =
        (duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000 + 1000) % 1000;
    const int second = local.tm_sec < 60 ? local.tm_sec : 59; // a leap second stays in its minute
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
           EncodeTime(local.tm_hour, local.tm_min, second, static_cast<int>(msec));
}
