#include "sim/text_util.hpp"

#include <cstdio>

namespace tavro::sim {

std::string Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos)
    return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> SplitList(std::string_view text, char sep) {
  std::vector<std::string> parts;
  if (Trim(text).empty())
    return parts;
  std::size_t start = 0;
  while (true) {
    const auto pos = text.find(sep, start);
    parts.push_back(Trim(text.substr(start, pos == std::string_view::npos ? pos : pos - start)));
    if (pos == std::string_view::npos)
      break;
    start = pos + 1;
  }
  return parts;
}

bool ParseUnsigned(std::string_view text, std::uint32_t& out) {
  const std::string t = Trim(text);
  if (t.empty())
    return false;
  std::size_t i = 0;
  unsigned base = 10;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    base = 16;
    i = 2;
  } else if (t.size() > 1 && t[0] == '0') {
    base = 8;
    i = 1;
  }
  std::uint64_t value = 0;
  for (; i < t.size(); ++i) {
    const char c = t[i];
    unsigned digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return false;
    }
    if (digit >= base)
      return false;
    value = value * base + digit;
    if (value > 0xFFFFFFFFull)
      return false;
  }
  out = static_cast<std::uint32_t>(value);
  return true;
}

bool ParseU16(std::string_view text, std::uint16_t& out) {
  std::uint32_t v = 0;
  if (!ParseUnsigned(text, v) || v > 0xFFFF)
    return false;
  out = static_cast<std::uint16_t>(v);
  return true;
}

std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
  return text;
}

}  // namespace tavro::sim
