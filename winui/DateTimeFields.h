#pragma once

#include "runtime/DateTime.h"
#include "runtime/FormatSettings.h"

#include <windows.h>

#include <string>

// The time and date fields on the common controls' date and time pickers: the time in hours,
// minutes and seconds (24-hour form) with up-down arrows, the date from 1 January 2000 to
// 31 December 2099 with its drop-down calendar (whose "Today" picks the PC's date). Both show
// the regional formats of the program, whatever the system's own are. A picker always holds a
// valid value, so taking a field over cannot fail.

// The pickers' display formats from the regional settings: the short date format ("d", "m",
// "y" in either case; "/" stands for the date separator) and hours, minutes and seconds.
std::wstring PickerDateFormat(const TFormatSettings& settings);
std::wstring PickerTimeFormat(const TFormatSettings& settings);

// The date picker's range.
inline constexpr int FirstYear = 2000;
inline constexpr int LastYear = 2099;

void SetUpTimePicker(HWND picker);
void SetUpDatePicker(HWND picker);

TDateTime PickerTime(HWND picker); // time of day, whole seconds
TDateTime PickerDate(HWND picker); // the date, no time part
void ShowPickerTime(HWND picker, TDateTime time);
// A date outside the picker's range is brought to the nearest end of it.
void ShowPickerDate(HWND picker, TDateTime date);
