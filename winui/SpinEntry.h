#pragma once

#include <optional>
#include <string_view>

// The rules of a whole-number field with bounds, apart from any window.

// A typed entry as the field takes it over: a whole number of any length, with an optional
// sign and blanks around it, brought to the nearest bound; an empty entry (or a sign alone) is
// 0, brought into the bounds too. Nothing when the entry is not a whole number.
std::optional<int> ReadWholeNumber(std::string_view entry, int lower, int upper);

// The value after `steps` steps from `value` (which may lie outside the bounds, as the settings
// file gave it), brought into the bounds.
int StepWithin(int value, int steps, int lower, int upper);
