#pragma once
// Little-endian field access. Every multi-byte field on the wire and in the
// tool's binary files is little-endian, whatever the host is.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tavro::link {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

inline std::uint16_t GetU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t GetU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void PutU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void AppendU16(Bytes& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void AppendU32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Bounds-checked reads: nothing is read unless the whole field lies inside.
inline std::optional<std::uint16_t> ReadU16(ByteView data, std::size_t offset) {
  if (offset > data.size() || data.size() - offset < 2)
    return std::nullopt;
  return GetU16(data.data() + offset);
}
inline std::optional<std::uint32_t> ReadU32(ByteView data, std::size_t offset) {
  if (offset > data.size() || data.size() - offset < 4)
    return std::nullopt;
  return GetU32(data.data() + offset);
}

}  // namespace tavro::link
