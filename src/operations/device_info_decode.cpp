#include "operations/device_info_decode.hpp"

#include <cstdio>

#include "data/text_encoding.hpp"

namespace tavro::operations {

std::string VersionText(std::uint32_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "%x.%x.%x.%x", (v >> 24) & 0xFFU, (v >> 16) & 0xFFU,
                (v >> 8) & 0xFFU, v & 0xFFU);
  return text;
}

bool IsBcdVersion(std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 4) {
    if (((v >> shift) & 0xFU) > 9)
      return false;
  }
  return true;
}

std::string BlVersionText(std::uint16_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "%x.%02x", (v >> 8) & 0xFFU, v & 0xFFU);
  return text;
}

std::string NonZeroChars(link::ByteView bytes) {
  std::string raw;
  for (std::uint8_t b : bytes) {
    if (b != 0)
      raw.push_back(static_cast<char>(b));
  }
  return data::Latin1ToUtf8(raw);
}

std::string TimestampText(std::uint16_t year, std::uint8_t month, std::uint8_t day,
                          std::uint8_t hour, std::uint8_t minute, std::uint8_t second) {
  char text[40];
  std::snprintf(text, sizeof text, "%04u%02u%02u%02u%02u%02u", unsigned{year}, unsigned{month},
                unsigned{day}, unsigned{hour}, unsigned{minute}, unsigned{second});
  return text;
}

std::string ReadableStamp(const std::string& stamp) {
  if (stamp.size() != 14 || stamp.find_first_not_of("0123456789") != std::string::npos)
    return stamp;
  return stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" + stamp.substr(6, 2) + " " +
         stamp.substr(8, 2) + ":" + stamp.substr(10, 2) + ":" + stamp.substr(12, 2);
}

}  // namespace tavro::operations
