#include "SysUtils.h"

#include <optional>

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Decimal digits only, at least one; the magnitude is capped just above the 32-bit range so that
// any count of digits (leading zeros included) is read without overflow.
std::optional<std::int64_t> ParseDecimal(std::string_view digits) {
    if (digits.empty())
        return std::nullopt;
    constexpr std::int64_t cap = std::int64_t{1} << 32;
    std::int64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > cap)
            value = cap;
    }
    return value;
}

// Hexadecimal digits only, at least one, needing no more than 32 bits.
std::optional<std::uint32_t> ParseHex(std::string_view digits) {
    if (digits.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        const int digit = HexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<std::uint64_t>(digit);
        if (value > 0xFFFFFFFFu)
            return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

// Strips a hexadecimal prefix; false when there is none.
bool StripHexPrefix(std::string_view& text) {
    if (!text.empty() && (text.front() == '$' || text.front() == 'x' || text.front() == 'X')) {
        text.remove_prefix(1);
        return true;
    }
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        return true;
    }
    return false;
}

} // namespace

std::int32_t StrToIntDef(std::string_view text, std::int32_t def) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (StripHexPrefix(text)) {
        const auto pattern = ParseHex(text);
        if (!pattern)
            return def;
        // Unsigned arithmetic wraps, so "-$1" and "$FFFFFFFF" both give the pattern of -1.
        const std::uint32_t bits = negative ? 0u - *pattern : *pattern;
        return static_cast<std::int32_t>(bits);
    }
    const auto magnitude = ParseDecimal(text);
    if (!magnitude)
        return def;
    const std::int64_t value = negative ? -*magnitude : *magnitude;
    if (value < INT32_MIN || value > INT32_MAX)
        return def;
    return static_cast<std::int32_t>(value);
}

std::string Trim(std::string_view text) {
    const auto isBlank = [](char c) {
        return static_cast<unsigned char>(c) <= 0x20;
    };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}
