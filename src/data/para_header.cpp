#include "data/para_header.hpp"

#include <algorithm>
#include <cstring>

#include "data/text_encoding.hpp"

namespace tavro::data {

namespace {

constexpr std::size_t kStampOffset = 48;

void DecodeStamp(const std::uint8_t* p, ParaHeader& h) {
  h.year = link::GetU16(p);
  h.month = p[2];
  h.day = p[3];
  h.hour = p[4];
  h.minute = p[5];
  h.second = p[6];
  h.reserved = p[7];
}

// The first 48 bytes: everything before the time stamp.
void DecodeIdentity(const std::uint8_t* p, ParaHeader& h) {
  h.integrity = link::GetU16(p);
  h.dataSize = link::GetU32(p + 2);
  h.dataVersion = link::GetU32(p + 6);
  std::memcpy(h.model.data(), p + 10, kModelSize);
  std::memcpy(h.name.data(), p + 18, kNameSize);
}

}  // namespace

std::optional<ParaHeader> DecodeParaHeader(link::ByteView bytes) {
  if (bytes.size() < kParaHeaderSize)
    return std::nullopt;
  ParaHeader h;
  DecodeIdentity(bytes.data(), h);
  DecodeStamp(bytes.data() + kStampOffset, h);
  return h;
}

std::optional<ParaHeader> DecodeAreaHead(link::ByteView areaStart) {
  if (areaStart.size() < kAreaHeadSize)
    return std::nullopt;
  ParaHeader h;
  DecodeIdentity(areaStart.data(), h);
  DecodeStamp(areaStart.data() + 56, h);
  return h;
}

std::array<std::uint8_t, kParaHeaderSize> EncodeParaHeader(const ParaHeader& h) {
  std::array<std::uint8_t, kParaHeaderSize> out{};
  std::uint8_t* p = out.data();
  link::PutU16(p, h.integrity);
  link::PutU32(p + 2, h.dataSize);
  link::PutU32(p + 6, h.dataVersion);
  std::memcpy(p + 10, h.model.data(), kModelSize);
  std::memcpy(p + 18, h.name.data(), kNameSize);
  link::PutU16(p + 48, h.year);
  p[50] = h.month;
  p[51] = h.day;
  p[52] = h.hour;
  p[53] = h.minute;
  p[54] = h.second;
  p[55] = h.reserved;
  return out;
}

link::TimeStamp TimeStampOf(const ParaHeader& h) {
  return link::TimeStamp{h.year, h.month, h.day, h.hour, h.minute, h.second};
}

void SetTimeStamp(ParaHeader& h, const link::TimeStamp& t) {
  h.year = t.year;
  h.month = t.month;
  h.day = t.day;
  h.hour = t.hour;
  h.minute = t.minute;
  h.second = t.second;
}

void StampLocalTime(ParaHeader& h, std::time_t when) {
  SetTimeStamp(h, link::LocalTimeStamp(when));
}

std::string TimeText(const ParaHeader& h) {
  return link::FormatTimeStamp(TimeStampOf(h));
}

std::string FieldText(std::span<const std::uint8_t> field) {
  const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
  return std::string(field.begin(), end);
}

bool SameModelAndName(const ParaHeader& a, const ParaHeader& b) {
  return FieldText(a.model) == FieldText(b.model) && FieldText(a.name) == FieldText(b.name);
}

std::string NonZeroText(std::span<const std::uint8_t> field) {
  std::string raw;
  for (std::uint8_t b : field) {
    if (b != 0)
      raw.push_back(static_cast<char>(b));
  }
  return Latin1ToUtf8(raw);
}

}  // namespace tavro::data
