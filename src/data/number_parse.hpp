#pragma once
// The one way numbers are read from text (INI values, package sources,
// version files): unsigned, automatic base, like the C library's strtoul on
// the desktop platform where unsigned long is 32 bits wide.

#include <cstdint>
#include <string_view>

namespace tavro::data {

// "0x"/"0X" prefix: hexadecimal; a leading "0": octal; otherwise decimal.
// Leading blanks (space, tab, CR, LF, VT, FF) and one sign are accepted; a
// '-' negates modulo 2^32 as strtoul does. Parsing stops at the first
// character that does not fit the base; an empty or non-numeric text gives 0.
// A magnitude that does not fit 32 bits gives 0xFFFFFFFF (saturates, it does
// not wrap), whatever the sign.
std::uint32_t ParseAutoBase(std::string_view text);

}  // namespace tavro::data
