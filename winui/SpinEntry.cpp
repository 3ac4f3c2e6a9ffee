#include "winui/SpinEntry.h"

#include <algorithm>
#include <cstdint>

std::optional<int> ReadWholeNumber(std::string_view entry, int lower, int upper) {
    const auto blank = [](char c) {
        return c == ' ' || c == '\t';
    };
    while (!entry.empty() && blank(entry.front()))
        entry.remove_prefix(1);
    while (!entry.empty() && blank(entry.back()))
        entry.remove_suffix(1);
    bool negative = false;
    if (!entry.empty() && (entry.front() == '+' || entry.front() == '-')) {
        negative = entry.front() == '-';
        entry.remove_prefix(1);
    }
    // Past this, a number is beyond any bound of an int in its direction.
    constexpr std::int64_t Beyond = std::int64_t{1} << 40;
    std::int64_t magnitude = 0;
    for (char c : entry) {
        if (c < '0' || c > '9')
            return std::nullopt;
        magnitude = std::min(Beyond, magnitude * 10 + (c - '0'));
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    return static_cast<int>(std::clamp<std::int64_t>(value, lower, upper));
}

int StepWithin(int value, int steps, int lower, int upper) {
    return static_cast<int>(std::clamp<std::int64_t>(std::int64_t{value} + steps, lower, upper));
}
