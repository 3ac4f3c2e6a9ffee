#pragma once

#include <array>
#include <string>

// Process-wide regional format values read by every date, time and number routine and by the
// date and time fields of the windows.
struct TFormatSettings {
    std::string ShortDateFormat = "dd.MM.yyyy";
    char DateSeparator = '.';
    char TimeSeparator = ':';
    char ThousandSeparator = '\0'; // no digit grouping
    char DecimalSeparator = '.';
    std::array<std::string, 12> ShortMonthNames;
    std::array<std::string, 12> LongMonthNames;
    std::array<std::string, 7> ShortDayNames; // index 0 is Sunday
    std::array<std::string, 7> LongDayNames;  // index 0 is Sunday
};

extern TFormatSettings FormatSettings;

// The English month and day names that the program carries itself.
const std::array<std::string, 12>& EnglishShortMonthNames();
const std::array<std::string, 12>& EnglishLongMonthNames();
const std::array<std::string, 7>& EnglishShortDayNames();
const std::array<std::string, 7>& EnglishLongDayNames();
