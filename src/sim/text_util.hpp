#pragma once
// Small text helpers for the profile and the command line.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavro::sim {

std::string Trim(std::string_view text);
// Splits at `sep` and trims every part; an empty text gives no parts.
std::vector<std::string> SplitList(std::string_view text, char sep = ',');
// Unsigned number with automatic base (0x.. hexadecimal, 0.. octal); the
// whole text must be the number and it must fit in 32 bits.
bool ParseUnsigned(std::string_view text, std::uint32_t& out);
bool ParseU16(std::string_view text, std::uint16_t& out);
std::string Hex(std::uint32_t value, int digits = 4);

}  // namespace tavro::sim
