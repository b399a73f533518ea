#pragma once
// The 56-byte parameter header: the head of every Flash parameter image and
// the record in which the terminal reports each of its parameter areas.
// Little-endian, as every binary field of the tool.

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string>

#include "link/byte_order.hpp"
#include "link/time_stamp.hpp"

namespace tavro::data {

inline constexpr std::size_t kParaHeaderSize = 56;
// The start of a Flash parameter area as the terminal returns it: the
// header's first 48 bytes, 8 bytes it does not report, then the time stamp.
inline constexpr std::size_t kAreaHeadSize = 64;
inline constexpr std::size_t kModelSize = 8;
inline constexpr std::size_t kNameSize = 30;
// Integrity of an area the terminal reports as intact.
inline constexpr std::uint16_t kAreaIntact = 1;
// Integrity the PC writes into every image it creates.
inline constexpr std::uint16_t kNewImageIntegrity = 0xFFFF;

struct ParaHeader {
  std::uint16_t integrity = 0;
  std::uint32_t dataSize = 0;
  std::uint32_t dataVersion = 0;
  std::array<std::uint8_t, kModelSize> model{};
  std::array<std::uint8_t, kNameSize> name{};
  std::uint16_t year = 0;
  std::uint8_t month = 0;
  std::uint8_t day = 0;
  std::uint8_t hour = 0;
  std::uint8_t minute = 0;
  std::uint8_t second = 0;
  std::uint8_t reserved = 0;

  bool operator==(const ParaHeader&) const = default;
};

// The header at the start of `bytes` (an image file or a header record);
// nullopt when fewer than 56 bytes are given.
std::optional<ParaHeader> DecodeParaHeader(link::ByteView bytes);
// The header of an area start read from the terminal: bytes 0..47, then
// bytes 56..63 as the time fields; nullopt when fewer than 64 bytes are given.
std::optional<ParaHeader> DecodeAreaHead(link::ByteView areaStart);
std::array<std::uint8_t, kParaHeaderSize> EncodeParaHeader(const ParaHeader& header);

link::TimeStamp TimeStampOf(const ParaHeader& header);
void SetTimeStamp(ParaHeader& header, const link::TimeStamp& stamp);
// Stamps the local time of `when`; when it cannot be converted the date
// becomes 0 and the time 0xFF, so a reader can tell the stamp is unusable.
void StampLocalTime(ParaHeader& header, std::time_t when);
// "%04d%02d%02d%02d%02d%02d" of the time fields: the form download records
// keep, so a record can be matched with the data it wrote.
std::string TimeText(const ParaHeader& header);

// The bytes of a fixed text field up to its first zero byte.
std::string FieldText(std::span<const std::uint8_t> field);
// Model and Name equal as texts: bytes after the first zero do not count.
bool SameModelAndName(const ParaHeader& a, const ParaHeader& b);
// Every non-zero byte of a field, in order, as UTF-8 (byte b is U+00b).
std::string NonZeroText(std::span<const std::uint8_t> field);

}  // namespace tavro::data
