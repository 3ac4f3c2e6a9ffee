#include "winui/DateTimeFields.h"

#include <commctrl.h>

#include <algorithm>
#include <cctype>

namespace {

std::wstring Quoted(char c) {
    if (c == '\'')
        return L"''''";
    return std::wstring(L"'") + static_cast<wchar_t>(static_cast<unsigned char>(c)) + L"'";
}

SYSTEMTIME SystemTimeOf(int year, int month, int day, int hour, int minute, int second) {
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(year);
    time.wMonth = static_cast<WORD>(month);
    time.wDay = static_cast<WORD>(day);
    time.wHour = static_cast<WORD>(hour);
    time.wMinute = static_cast<WORD>(minute);
    time.wSecond = static_cast<WORD>(second);
    return time;
}

SYSTEMTIME PickerValue(HWND picker) {
    SYSTEMTIME value{};
    SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&value));
    return value;
}

} // namespace

std::wstring PickerDateFormat(const TFormatSettings& settings) {
    std::wstring format;
    for (char c : settings.ShortDateFormat) {
        const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower == 'd' || lower == 'y')
            format += static_cast<wchar_t>(lower);
        else if (lower == 'm')
            format += L'M';
        else if (c == '/')
            format += Quoted(settings.DateSeparator);
        else
            format += Quoted(c);
    }
    return format;
}

std::wstring PickerTimeFormat(const TFormatSettings& settings) {
    const std::wstring separator = Quoted(settings.TimeSeparator);
    return L"HH" + separator + L"mm" + separator + L"ss";
}

void SetUpTimePicker(HWND picker) {
    SendMessageW(picker, DTM_SETFORMATW, 0,
                 reinterpret_cast<LPARAM>(PickerTimeFormat(FormatSettings).c_str()));
    ShowPickerTime(picker, 0);
}

void SetUpDatePicker(HWND picker) {
    SendMessageW(picker, DTM_SETFORMATW, 0,
                 reinterpret_cast<LPARAM>(PickerDateFormat(FormatSettings).c_str()));
    SYSTEMTIME range[2] = {SystemTimeOf(FirstYear, 1, 1, 0, 0, 0),
                           SystemTimeOf(LastYear, 12, 31, 23, 59, 59)};
    SendMessageW(picker, DTM_SETRANGE, GDTR_MIN | GDTR_MAX, reinterpret_cast<LPARAM>(range));
    ShowPickerDate(picker, EncodeDate(FirstYear, 1, 1));
}

TDateTime PickerTime(HWND picker) {
    const SYSTEMTIME value = PickerValue(picker);
    return EncodeTime(value.wHour, value.wMinute, value.wSecond, 0);
}

TDateTime PickerDate(HWND picker) {
    const SYSTEMTIME value = PickerValue(picker);
    return EncodeDate(value.wYear, value.wMonth, value.wDay);
}

void ShowPickerTime(HWND picker, TDateTime time) {
    const TTimeParts parts = DecodeTime(TimeOf(time));
    // The picker keeps a whole date-time; its date part is never shown.
    SYSTEMTIME value = SystemTimeOf(FirstYear, 1, 1, parts.Hour, parts.Minute, parts.Second);
    SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&value));
}

void ShowPickerDate(HWND picker, TDateTime date) {
    const TDateTime first = EncodeDate(FirstYear, 1, 1);
    const TDateTime last = EncodeDate(LastYear, 12, 31);
    const TDateParts parts = DecodeDate(std::clamp(DateOf(date), first, last));
    SYSTEMTIME value = SystemTimeOf(parts.Year, parts.Month, parts.Day, 0, 0, 0);
    SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&value));
}
