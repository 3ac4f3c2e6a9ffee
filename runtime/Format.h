#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

// One argument of Format: an integer or a text.
class TFormatArg {
public:
    TFormatArg(int value) : FValue(static_cast<std::int64_t>(value)) {}
    TFormatArg(unsigned value) : FValue(static_cast<std::int64_t>(value)) {}
    TFormatArg(std::int64_t value) : FValue(value) {}
    TFormatArg(std::string_view value) : FValue(std::string(value)) {}
    TFormatArg(const std::string& value) : FValue(value) {}
    TFormatArg(const char* value) : FValue(std::string(value)) {}

    const std::variant<std::int64_t, std::string>& Value() const { return FValue; }

private:
    std::variant<std::int64_t, std::string> FValue;
};

// printf-style formatting for the conversions the system's texts use: "%d", "%x" (upper-case
// digits), "%s" and "%%", each with optional "-", width and ".precision" ("%2.2d" gives at least
// two digits, zero-filled). Message texts are assignable, so a format whose placeholders do not
// match the arguments (too few, wrong type, unknown conversion) raises EConvertError instead of
// touching memory it was not given.
std::string Format(std::string_view format, std::initializer_list<TFormatArg> args);
