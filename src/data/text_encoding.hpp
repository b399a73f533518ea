#pragma once
// UTF-8 <-> UTF-16 conversion. All texts inside the tool are UTF-8; UTF-16
// appears in INI files saved as UTF-16LE and wherever a format counts UTF-16
// code units. Malformed input never fails: each bad sequence becomes U+FFFD.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tavro::data {

inline constexpr char32_t kReplacementChar = 0xFFFD;

// Appends the UTF-8 form of `cp`; surrogates and values above U+10FFFF are
// written as U+FFFD.
void AppendUtf8(std::string& out, char32_t cp);

// Overlong forms, surrogate code points, values above U+10FFFF, stray
// continuation bytes and truncated sequences each give one U+FFFD per
// offending byte sequence.
std::u16string Utf8ToUtf16(std::string_view utf8);
// Unpaired surrogates give U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
// Little-endian UTF-16 bytes (no byte order mark expected); an odd trailing
// byte gives U+FFFD.
std::string Utf16LeBytesToUtf8(std::span<const std::uint8_t> bytes);
// One byte per character, byte b standing for U+00b (ISO 8859-1); how the
// 8-bit names stored in binary files become text.
std::string Latin1ToUtf8(std::string_view bytes);

}  // namespace tavro::data
