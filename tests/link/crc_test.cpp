#include "link/crc.hpp"

#include <gtest/gtest.h>

#include <string_view>

namespace tavro::link {
namespace {

std::uint16_t CrcOf(std::string_view text) {
  return ComputeCrc(reinterpret_cast<const std::uint8_t*>(text.data()),
                    static_cast<long>(text.size()));
}

TEST(Crc, PublishedCheckValues) {
  EXPECT_EQ(CrcOf("123456789"), 0x6F91);
  EXPECT_EQ(CrcOf("abc"), 0x61DA);
}

TEST(Crc, ReflectedTableEntries) {
  EXPECT_EQ(CrcTableEntry(0), 0x0000);
  EXPECT_EQ(CrcTableEntry(1), 0x1189);
  EXPECT_EQ(CrcTableEntry(128), 0x8408);
  EXPECT_EQ(CrcTableEntry(255), 0x0F78);
}

TEST(Crc, EmptyOrNegativeCountGivesInitialValue) {
  const std::uint8_t byte = 0x42;
  EXPECT_EQ(ComputeCrc(&byte, 0), 0xFFFF);
  EXPECT_EQ(ComputeCrc(&byte, -5), 0xFFFF);
}

}  // namespace
}  // namespace tavro::link
