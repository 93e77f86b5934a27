// Numbers as decimal text, without the C runtime's formatted output.

#include "text/decimal_text.h"

#include <cstddef>

DecimalText decimalText(uint32_t value) {
  char digits[10];  // least significant first
  size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  DecimalText text = {};
  for (size_t i = 0; i < count; ++i) text.chars[i] = digits[count - 1 - i];
  return text;
}

DecimalText decimalText(int32_t value) {
  if (value >= 0) return decimalText(static_cast<uint32_t>(value));
  // Negated in unsigned arithmetic, so the most negative value needs no special case.
  const DecimalText digits = decimalText(0u - static_cast<uint32_t>(value));
  DecimalText text = {{'-'}};
  for (size_t i = 0; digits.chars[i] != '\0'; ++i) text.chars[i + 1] = digits.chars[i];
  return text;
}
