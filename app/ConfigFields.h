#pragma once

#include "app/Settings.h"

#include <array>
#include <cstdint>
#include <string_view>

// The Config dialog's fields and the rules by which they are filled from the settings and read
// back on OK, the same for every window.

inline constexpr std::array<std::string_view, 4> ConfigPortEntries{"COM1", "COM2", "COM3", "COM4"};
inline constexpr std::array<std::string_view, 2> ConfigBaudEntries{"4800", "9600"};
// The timeout field's bounds and its large step (Ctrl+Page Up / Page Down).
inline constexpr int ConfigTimeoutMin = 100;
inline constexpr int ConfigTimeoutMax = 2000;
inline constexpr int ConfigTimeoutLargeStep = 100;

// The entry a list shows for a setting: -1 (no entry, an empty text) when it has none.
int ConfigPortIndex(std::int32_t comPort);
int ConfigBaudIndex(std::int32_t baudRate);

// The settings the fields give on OK: a port outside the list becomes COM1, a speed text that
// is no integer 9600, and a timeout outside 1 to 2000 ms becomes 200 ms (not the nearest
// bound; a value below the field's minimum that the user left alone is kept).
TSettings ConfigSettingsFromFields(int portIndex, std::string_view baudText, int timeout);
