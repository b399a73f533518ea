// The 56-byte parameter header: its byte layout in image files and in the
// terminal's area start, its time text and the text comparisons on it.

#include "data/para_header.hpp"
#include "support/local_time.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace tavro::data {
namespace {

// Bytes 1, 2, 3, ... so that every field shows where it was taken from.
std::vector<std::uint8_t> Counting(std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i)
    bytes[i] = static_cast<std::uint8_t>(i + 1);
  return bytes;
}

TEST(ParaHeader, FieldsSitAtTheirOffsetsLittleEndian) {
  const auto bytes = Counting(kParaHeaderSize);
  const auto h = DecodeParaHeader(bytes);
  ASSERT_TRUE(h.has_value());
  EXPECT_EQ(h->integrity, 0x0201);
  EXPECT_EQ(h->dataSize, 0x06050403u);
  EXPECT_EQ(h->dataVersion, 0x0A090807u);
  EXPECT_EQ(h->model.front(), 11);
  EXPECT_EQ(h->name.front(), 19);
  EXPECT_EQ(h->name.back(), 48);
  EXPECT_EQ(h->year, 0x3231);
  EXPECT_EQ(h->month, 51);
  EXPECT_EQ(h->second, 55);
  EXPECT_EQ(h->reserved, 56);
  const auto encoded = EncodeParaHeader(*h);
  EXPECT_EQ(std::vector<std::uint8_t>(encoded.begin(), encoded.end()), bytes);

  EXPECT_FALSE(DecodeParaHeader(Counting(kParaHeaderSize - 1)).has_value());
}

TEST(ParaHeader, AreaStartTakesTheTimeStampFromItsBytes56To63) {
  const auto h = DecodeAreaHead(Counting(kAreaHeadSize));
  ASSERT_TRUE(h.has_value());
  EXPECT_EQ(h->integrity, 0x0201);
  EXPECT_EQ(h->name.back(), 48);
  EXPECT_EQ(h->year, 0x3A39);  // area bytes 56 and 57
  EXPECT_EQ(h->second, 63);
  EXPECT_EQ(h->reserved, 64);
  EXPECT_FALSE(DecodeAreaHead(Counting(kAreaHeadSize - 1)).has_value());
}

TEST(ParaHeader, TimeTextOfLocalUnusableAndShortYears) {
  ParaHeader h;
  StampLocalTime(h, test::LocalTime(2025, 12, 31, 23, 59, 58));
  EXPECT_EQ(TimeText(h), "20251231235958");
  h.year = 5;
  EXPECT_EQ(TimeText(h), "00051231235958");

  // Beyond what the calendar conversion can represent: date 0, time 0xFF.
  StampLocalTime(h, std::numeric_limits<std::time_t>::max());
  EXPECT_EQ(TimeStampOf(h), link::kUnreadableTime);
  EXPECT_EQ(TimeText(h), "00000000255255255");
}

TEST(ParaHeader, ModelAndNameCompareUpToTheirFirstZeroByte) {
  ParaHeader a;
  ParaHeader b;
  a.model = {'T', 'V', 0, 'x'};
  b.model = {'T', 'V', 0, 'y'};
  a.name = {'N', 0, 1};
  b.name = {'N'};
  EXPECT_TRUE(SameModelAndName(a, b));
  b.model = {'T', 'V', 'X'};
  EXPECT_FALSE(SameModelAndName(a, b));  // a prefix is not the same text
  b.model = a.model;
  b.name = {'M'};
  EXPECT_FALSE(SameModelAndName(a, b));
  // A field without any zero byte is compared whole.
  a.model = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'};
  b = a;
  b.model.back() = 'Z';
  EXPECT_FALSE(SameModelAndName(a, b));

  const std::array<std::uint8_t, 8> model = {0, 'A', 0, 'B', 0xE9, 0, 0, 'C'};
  EXPECT_EQ(NonZeroText(model),
            "AB\xC3\xA9"
            "C");
}

}  // namespace
}  // namespace tavro::data
