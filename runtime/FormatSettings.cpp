#include "FormatSettings.h"

TFormatSettings FormatSettings;

const std::array<std::string, 12>& EnglishShortMonthNames() {
    static const std::array<std::string, 12> names{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return names;
}

const std::array<std::string, 12>& EnglishLongMonthNames() {
    static const std::array<std::string, 12> names{"January",   "February", "March",    "April",
                                                   "May",       "June",     "July",     "August",
                                                   "September", "October",  "November", "December"};
    return names;
}

const std::array<std::string, 7>& EnglishShortDayNames() {
    static const std::array<std::string, 7> names{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    return names;
}

const std::array<std::string, 7>& EnglishLongDayNames() {
    static const std::array<std::string, 7> names{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                  "Thursday", "Friday", "Saturday"};
    return names;
}
