// Decimal numbers as the log's printf-style formats write them, without printf.
#pragma once

#include <cstddef>

namespace LogUtils {

// Writes `value` right-aligned in at least `width` columns, padded with `fill`: "%5d" with blanks,
// "%02d" with zeros (after the sign). Longer numbers are written whole. Returns the characters
// written; `out` has room for 21 and for `width`.
template <typename Char>
std::size_t PutDecimal(Char* out, long long value, std::size_t width, Char fill) {
  Char digits[24];
  std::size_t count = 0;
  const bool negative = value < 0;
  unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value) : value;
  do {
    digits[count++] = static_cast<Char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  std::size_t written = 0;
  const std::size_t length = count + (negative ? 1 : 0);
  if (negative && fill == Char('0'))
    out[written++] = Char('-');
  for (std::size_t i = length; i < width; ++i)
    out[written++] = fill;
  if (negative && fill != Char('0'))
    out[written++] = Char('-');
  while (count > 0)
    out[written++] = digits[--count];
  return written;
}

}  // namespace LogUtils
