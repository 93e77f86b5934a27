// Numbers as text: the one formatter of the plug-in, for the settings it writes and the
// game time it shows.
#pragma once

#include <cstdint>

// Decimal text of a number, without leading zeros; a negative number starts with '-'.
struct DecimalText {
  char chars[12];  // "-2147483648" and the terminator
};
DecimalText decimalText(int32_t value);
DecimalText decimalText(uint32_t value);
