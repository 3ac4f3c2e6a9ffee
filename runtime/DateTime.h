#pragma once

#include <string>
#include <string_view>

// A point in time as a count of days since 30 December 1899; the fraction is the time of day.
// 36526 is 1 January 2000. A date and a time of day are added to form one value.
using TDateTime = double;

// Valid for years 1 to 9999 with Gregorian month lengths; otherwise raises EConvertError
// "Invalid argument to date encode".
TDateTime EncodeDate(int year, int month, int day);

// Valid for hour < 24, minute < 60, second < 60, msec < 1000, none negative; otherwise raises
// EConvertError "Invalid argument to time encode".
TDateTime EncodeTime(int hour, int minute, int second, int msec);

bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& result);

struct TDateParts {
    int Year, Month, Day;
};
struct TTimeParts {
    int Hour, Minute, Second, MSec;
};

// Both round the value to the nearest millisecond first.
TDateParts DecodeDate(TDateTime value);
TTimeParts DecodeTime(TDateTime value);

// The whole-day part and the time-of-day part of a value.
TDateTime DateOf(TDateTime value);
TDateTime TimeOf(TDateTime value);

// Formats a value by a pattern of the tokens "yyyy", "yy", "mm", "dd", "hh", "nn", "ss" and
// "zzz" (two digits each, zero-filled; "yy" is the year modulo 100, "zzz" the milliseconds);
// any other character is copied. The value is rounded to the nearest millisecond first, and the
// fraction of a second that remains is dropped. Regional settings are not used.
std::string FormatDateTime(std::string_view pattern, TDateTime value);

// The PC's current local date and time.
TDateTime Now();
