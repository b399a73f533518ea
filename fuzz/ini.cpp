// Private-profile files of arbitrary content, and the text conversions they
// go through. The first byte chooses how the rest is stored (as it is, as
// UTF-16LE with its byte order mark, or as UTF-8 behind its mark) and which
// key a write replaces; the rest is the file's text.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/ini_file.hpp"
#include "data/number_parse.hpp"
#include "data/text_encoding.hpp"
#include "fuzz_support.hpp"

namespace {

using namespace tavro;

constexpr std::size_t kMaxSections = 8;
constexpr std::size_t kMaxKeys = 16;
// No value can hold a line break, so no lookup that finds its key gives this.
constexpr std::string_view kAbsent = "\n";
constexpr std::string_view kWritten = "fuzz value";

std::vector<std::uint8_t> FileBytes(std::uint8_t mode, std::string_view text) {
  // Built byte by byte: GCC 12 at -O3 takes a list assignment followed by an
  // insert for a read past the list (a false -Wstringop-overread).
  std::vector<std::uint8_t> bytes;
  bytes.reserve(2 * text.size() + 3);
  switch (mode % 3) {
    case 1:
      bytes.push_back(0xFF);
      bytes.push_back(0xFE);
      for (char16_t unit : data::Utf8ToUtf16(text)) {
        bytes.push_back(static_cast<std::uint8_t>(unit));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
      }
      return bytes;
    case 2:
      bytes.push_back(0xEF);
      bytes.push_back(0xBB);
      bytes.push_back(0xBF);
      break;
    default:
      break;
  }
  for (char c : text)
    bytes.push_back(static_cast<std::uint8_t>(c));
  return bytes;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  FUZZ_CHECK(fd >= 0);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    FUZZ_CHECK(n > 0);
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
}

bool SameName(std::string_view a, std::string_view b) {
  const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return fold(x) == fold(y); });
}

// Every key a section lists is found by a lookup, and its value is one line.
void CheckLookups(const data::CIni& ini, const std::vector<std::string>& sections) {
  for (std::size_t s = 0; s < sections.size() && s < kMaxSections; ++s) {
    const std::vector<std::string> keys = ini.GetKeyNames(sections[s]);
    for (std::size_t k = 0; k < keys.size() && k < kMaxKeys; ++k) {
      const std::string value = ini.GetString(sections[s], keys[k], kAbsent);
      FUZZ_CHECK(value != kAbsent);
      FUZZ_CHECK(value.find('\n') == std::string::npos);
      (void)data::ParseAutoBase(value);
    }
  }
  // The lookups the tool itself makes.
  (void)data::ParseAutoBase(ini.GetString("Language", "LanguageSet", ""));
  (void)data::ParseAutoBase(ini.GetString("DestPara", "DestParaVer", "0"));
  (void)ini.GetString("ParaFileNum", "ParaFileRequisiteNum", "5");
  (void)ini.GetString("Para", "DlTime", "");
}

// A write keeps every section, adds its own only when it was missing, and
// reads back as written.
void CheckWrite(data::CIni& ini, std::uint8_t choice, const std::vector<std::string>& before) {
  const std::size_t pick = (choice >> 2) % (before.size() + 1);
  const std::string section = pick < before.size() ? before[pick] : "Added";
  const std::vector<std::string> keys = ini.GetKeyNames(section);
  const std::string key = keys.empty() ? "added" : keys[(choice >> 5) % keys.size()];
  if (!ini.WriteString(section, key, kWritten))
    return;
  FUZZ_CHECK(ini.GetString(section, key, kAbsent) == kWritten);
  const std::vector<std::string> after = ini.GetSectionNames();
  const bool existed = std::any_of(before.begin(), before.end(), [&](const std::string& name) {
    return SameName(name, section);
  });
  FUZZ_CHECK(after.size() == before.size() + (existed ? 0 : 1));
  FUZZ_CHECK(std::equal(before.begin(), before.end(), after.begin()));
  if (!existed)
    FUZZ_CHECK(after.back() == section);
}

// Conversions never fail: one round trip gives text that further round
// trips keep as it is.
void CheckTextHelpers(std::string_view text, std::uint32_t codePoint) {
  const std::string once = data::Utf16ToUtf8(data::Utf8ToUtf16(text));
  FUZZ_CHECK(data::Utf16ToUtf8(data::Utf8ToUtf16(once)) == once);

  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                            text.size());
  const std::string wide = data::Utf16LeBytesToUtf8(bytes);
  FUZZ_CHECK(data::Utf16ToUtf8(data::Utf8ToUtf16(wide)) == wide);

  // Latin-1: byte b is U+00b, one UTF-16 unit per byte.
  const std::u16string latin = data::Utf8ToUtf16(data::Latin1ToUtf8(text));
  FUZZ_CHECK(latin.size() == text.size());
  for (std::size_t i = 0; i < text.size(); ++i)
    FUZZ_CHECK(latin[i] == static_cast<unsigned char>(text[i]));

  std::string one;
  data::AppendUtf8(one, codePoint);
  const std::u16string units = data::Utf8ToUtf16(one);
  const bool valid = codePoint <= 0x10FFFF && (codePoint < 0xD800 || codePoint > 0xDFFF);
  if (!valid) {
    FUZZ_CHECK(units == std::u16string(1, static_cast<char16_t>(data::kReplacementChar)));
  } else if (codePoint < 0x10000) {
    FUZZ_CHECK(units == std::u16string(1, static_cast<char16_t>(codePoint)));
  } else {
    FUZZ_CHECK(units.size() == 2);
  }

  FUZZ_CHECK(data::ParseAutoBase(std::to_string(codePoint)) == codePoint);
  (void)data::ParseAutoBase(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::uint8_t mode = in.Byte();
  const auto rest = in.Rest();
  const std::string_view text(reinterpret_cast<const char*>(rest.data()), rest.size());

  static const std::string path = fuzz::ScratchFolder() + "/input.ini";
  WriteFile(path, FileBytes(mode, text));

  data::CIni ini(path);
  const std::vector<std::string> sections = ini.GetSectionNames();
  CheckLookups(ini, sections);
  // A second object parses the file afresh and must agree with the first.
  FUZZ_CHECK(data::CIni(path).GetSectionNames() == sections);
  CheckWrite(ini, mode, sections);

  std::uint32_t codePoint = 0;
  for (std::size_t i = 0; i < 4 && i < rest.size(); ++i)
    codePoint = (codePoint << 8) | rest[i];
  CheckTextHelpers(text, codePoint);
  return 0;
}
