#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Lenient text to 32-bit integer conversion. Leading blanks (0x20 only) are skipped, one "+" or
// "-" may follow, then decimal digits, or hexadecimal digits of either case after "$", "x",
// "X", "0x" or "0X". Anything else (empty text, a trailing blank, overflow) gives `def`.
// Decimal numbers must fit the signed 32-bit range; hexadecimal digits are a 32-bit pattern
// ("$FFFFFFFF" is -1) and may not need more than 32 bits.
std::int32_t StrToIntDef(std::string_view text, std::int32_t def);

// Removes every character with a code of 0x20 or less from both ends.
std::string Trim(std::string_view text);
