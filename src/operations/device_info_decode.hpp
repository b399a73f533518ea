#pragma once
// How the terminal's identity fields become the texts the technician sees.

#include <array>
#include <cstdint>
#include <string>

#include "link/byte_order.hpp"

namespace tavro::operations {

// "%x.%x.%x.%x" of a u32 read little-endian, most significant byte first.
std::string VersionText(std::uint32_t version);
// True when every nibble of the four bytes is a decimal digit.
bool IsBcdVersion(std::uint32_t version);
// "%x.%02x" of the high and low byte (0x0230 shows 2.30).
std::string BlVersionText(std::uint16_t version);
// The non-zero bytes as characters (bytes from 0x80 as Latin-1).
std::string NonZeroChars(link::ByteView bytes);
// "%04d%02d%02d%02d%02d%02d" from a u16 year and five bytes.
std::string TimestampText(std::uint16_t year, std::uint8_t month, std::uint8_t day,
                          std::uint8_t hour, std::uint8_t minute, std::uint8_t second);

// "20240314092653" as "2024-03-14 09:26:53"; other texts as they are.
std::string ReadableStamp(const std::string& stamp);

}  // namespace tavro::operations
