#include "data/text_encoding.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace tavro::data {
namespace {

TEST(TextEncoding, RoundTripsEveryPlane) {
  const std::string text = "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";  // A é 中 😀
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide, (std::u16string{u'A', 0x00E9, 0x4E2D, 0xD83D, 0xDE00}));
  EXPECT_EQ(Utf16ToUtf8(wide), text);
}

TEST(TextEncoding, MalformedUtf8BecomesReplacementCharacters) {
  // Stray continuation byte, overlong '/', an encoded surrogate, a truncated
  // sequence at the end.
  EXPECT_EQ(Utf8ToUtf16("a\x80z"), (std::u16string{u'a', 0xFFFD, u'z'}));
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), (std::u16string{0xFFFD, 0xFFFD}));
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), (std::u16string{0xFFFD}));
  EXPECT_EQ(Utf8ToUtf16("x\xE4\xB8"), (std::u16string{u'x', 0xFFFD}));
  // A broken sequence does not swallow the character that follows.
  EXPECT_EQ(Utf8ToUtf16("\xE4Q"), (std::u16string{0xFFFD, u'Q'}));
  EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), (std::u16string{0xFFFD}));  // above U+10FFFF
}

TEST(TextEncoding, UnpairedSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800, u'a'}),
            "\xEF\xBF\xBD"
            "a");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDC00}), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'b', 0xD83D}), "b\xEF\xBF\xBD");
}

TEST(TextEncoding, LittleEndianBytesAndOddTail) {
  const std::vector<std::uint8_t> bytes{'H', 0, 0x2D, 0x4E, '!'};
  EXPECT_EQ(Utf16LeBytesToUtf8(bytes), "H\xE4\xB8\xAD\xEF\xBF\xBD");
}

TEST(TextEncoding, Latin1BytesMapToTheirCodePoints) {
  EXPECT_EQ(Latin1ToUtf8("a\xE9\xFF"), "a\xC3\xA9\xC3\xBF");
  EXPECT_EQ(Latin1ToUtf8(std::string("\x80", 1)), "\xC2\x80");
}

}  // namespace
}  // namespace tavro::data
