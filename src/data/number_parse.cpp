#include "data/number_parse.hpp"

#include <cstddef>

namespace tavro::data {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Value of `c` as a digit, or a value >= 16 when it is not one.
unsigned DigitValue(char c) {
  if (c >= '0' && c <= '9')
    return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f')
    return static_cast<unsigned>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F')
    return static_cast<unsigned>(c - 'A' + 10);
  return 16;
}

}  // namespace

std::uint32_t ParseAutoBase(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i]))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }

  unsigned base = 10;
  if (i < text.size() && text[i] == '0') {
    // "0x" only switches to hexadecimal when a hex digit follows; otherwise
    // the "0" alone is the number, as strtoul reads it.
    if (i + 2 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        DigitValue(text[i + 2]) < 16) {
      base = 16;
      i += 2;
    } else {
      base = 8;
    }
  }

  std::uint64_t value = 0;
  bool overflow = false;
  for (; i < text.size(); ++i) {
    const unsigned d = DigitValue(text[i]);
    if (d >= base)
      break;
    if (!overflow) {
      value = value * base + d;
      if (value > 0xFFFFFFFFull)
        overflow = true;
    }
  }
  if (overflow)
    return 0xFFFFFFFFu;
  const auto result = static_cast<std::uint32_t>(value);
  return negative ? static_cast<std::uint32_t>(0u - result) : result;
}

}  // namespace tavro::data
