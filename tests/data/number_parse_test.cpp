#include "data/number_parse.hpp"

#include <gtest/gtest.h>

namespace tavro::data {
namespace {

TEST(ParseAutoBase, PicksTheBaseFromThePrefix) {
  EXPECT_EQ(ParseAutoBase("0x0230"), 560u);
  EXPECT_EQ(ParseAutoBase("0X1f"), 31u);
  EXPECT_EQ(ParseAutoBase("0230"), 152u);  // leading zero: octal
  EXPECT_EQ(ParseAutoBase("0400"), 256u);
  EXPECT_EQ(ParseAutoBase("560"), 560u);
  EXPECT_EQ(ParseAutoBase("0"), 0u);
}

TEST(ParseAutoBase, StopsAtTheFirstUnfitCharacter) {
  EXPECT_EQ(ParseAutoBase("12abc"), 12u);
  EXPECT_EQ(ParseAutoBase("0x1g"), 1u);
  EXPECT_EQ(ParseAutoBase("0789"), 7u);  // 8 is not an octal digit
  EXPECT_EQ(ParseAutoBase("08"), 0u);
  EXPECT_EQ(ParseAutoBase("12 34"), 12u);
}

TEST(ParseAutoBase, NonNumericTextGivesZero) {
  EXPECT_EQ(ParseAutoBase(""), 0u);
  EXPECT_EQ(ParseAutoBase("abc"), 0u);
  EXPECT_EQ(ParseAutoBase("   "), 0u);
  EXPECT_EQ(ParseAutoBase("0x"), 0u);
  EXPECT_EQ(ParseAutoBase("0xg"), 0u);
  EXPECT_EQ(ParseAutoBase("- 5"), 0u);
}

TEST(ParseAutoBase, LeadingBlanksAndSign) {
  EXPECT_EQ(ParseAutoBase(" 7"), 7u);
  EXPECT_EQ(ParseAutoBase("\t\r\n 0x10"), 16u);
  EXPECT_EQ(ParseAutoBase("+5"), 5u);
  EXPECT_EQ(ParseAutoBase("-1"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseAutoBase("-0x10"), 0xFFFFFFF0u);
}

TEST(ParseAutoBase, ThirtyTwoBitLimit) {
  EXPECT_EQ(ParseAutoBase("4294967295"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseAutoBase("0xFFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseAutoBase("037777777777"), 0xFFFFFFFFu);
  // Too large: saturates instead of keeping the low bits.
  EXPECT_EQ(ParseAutoBase("4294967296"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseAutoBase("0x100000010"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseAutoBase("99999999999999999999999999"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseAutoBase("-4294967296"), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace tavro::data
