#pragma once
// CRC-16/MCRF4XX: reflected polynomial 0x8408, initial 0xFFFF, no final XOR.

#include <cstddef>
#include <cstdint>

namespace tavro::link {

// CRC of `count` bytes; a count of zero or less gives the initial value 0xFFFF.
std::uint16_t ComputeCrc(const std::uint8_t* bytes, long count);

// Entry `index` of the reflected lookup table (exposed for checking the table).
std::uint16_t CrcTableEntry(std::uint8_t index);

}  // namespace tavro::link
