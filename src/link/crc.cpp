#include "link/crc.hpp"

#include <array>

namespace tavro::link {
namespace {

constexpr std::array<std::uint16_t, 256> MakeTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    std::uint16_t crc = static_cast<std::uint16_t>(i);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1U) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408U)
                       : static_cast<std::uint16_t>(crc >> 1);
    }
    table[i] = crc;
  }
  return table;
}

constexpr std::array<std::uint16_t, 256> kTable = MakeTable();

}  // namespace

std::uint16_t ComputeCrc(const std::uint8_t* bytes, long count) {
  std::uint16_t crc = 0xFFFF;
  for (long i = 0; i < count; ++i) {
    crc = static_cast<std::uint16_t>((crc >> 8) ^ kTable[(bytes[i] ^ crc) & 0xFFU]);
  }
  return crc;
}

std::uint16_t CrcTableEntry(std::uint8_t index) {
  return kTable[index];
}

}  // namespace tavro::link
