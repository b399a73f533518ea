#include "data/text_encoding.hpp"

#include <cstddef>

namespace tavro::data {
namespace {

bool IsSurrogate(char32_t cp) {
  return cp >= 0xD800 && cp <= 0xDFFF;
}
bool IsHighSurrogate(char32_t cu) {
  return cu >= 0xD800 && cu <= 0xDBFF;
}
bool IsLowSurrogate(char32_t cu) {
  return cu >= 0xDC00 && cu <= 0xDFFF;
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// Decodes one UTF-8 sequence at `text[pos]`, advancing `pos` past it (or
// past the bytes that make it malformed) and returning the code point or
// U+FFFD.
char32_t DecodeUtf8(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos++]);
  if (lead < 0x80)
    return lead;
  int extra = 0;
  char32_t cp = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1;
    cp = lead & 0x1F;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2;
    cp = lead & 0x0F;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    cp = lead & 0x07;
    minimum = 0x10000;
  } else {
    return kReplacementChar;  // continuation byte, overlong lead or beyond U+10FFFF
  }
  for (int i = 0; i < extra; ++i) {
    if (pos >= text.size())
      return kReplacementChar;
    const auto next = static_cast<unsigned char>(text[pos]);
    if ((next & 0xC0) != 0x80)
      return kReplacementChar;  // the byte starts the next sequence
    cp = (cp << 6) | (next & 0x3F);
    ++pos;
  }
  if (cp < minimum || cp > 0x10FFFF || IsSurrogate(cp))
    return kReplacementChar;
  return cp;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || IsSurrogate(cp))
    cp = kReplacementChar;
  auto put = [&out](char32_t v) { out.push_back(static_cast<char>(v)); };
  if (cp < 0x80) {
    put(cp);
  } else if (cp < 0x800) {
    put(0xC0 | (cp >> 6));
    put(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    put(0xE0 | (cp >> 12));
    put(0x80 | ((cp >> 6) & 0x3F));
    put(0x80 | (cp & 0x3F));
  } else {
    put(0xF0 | (cp >> 18));
    put(0x80 | ((cp >> 12) & 0x3F));
    put(0x80 | ((cp >> 6) & 0x3F));
    put(0x80 | (cp & 0x3F));
  }
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size())
    AppendUtf16(out, DecodeUtf8(utf8, pos));
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char32_t cu = utf16[i];
    if (IsHighSurrogate(cu) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) {
      const char32_t low = utf16[++i];
      AppendUtf8(out, 0x10000 + ((cu - 0xD800) << 10) + (low - 0xDC00));
    } else {
      AppendUtf8(out, cu);  // a lone surrogate is written as U+FFFD
    }
  }
  return out;
}

std::string Utf16LeBytesToUtf8(std::span<const std::uint8_t> bytes) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  }
  std::string out = Utf16ToUtf8(units);
  if (bytes.size() % 2 != 0)
    AppendUtf8(out, kReplacementChar);
  return out;
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes)
    AppendUtf8(out, static_cast<unsigned char>(c));
  return out;
}

}  // namespace tavro::data
