#include "app/language.hpp"

#include <vector>

#include "data/file_io.hpp"
#include "data/number_parse.hpp"
#include "data/text_encoding.hpp"

namespace tavro::app {

bool NeedsNativeButtons(std::string_view boxTitle) {
  for (char16_t unit : data::Utf8ToUtf16(boxTitle))
    if ((unit & 0xFF) > 0xA0)
      return true;
  return false;
}

LanguageResult Language::Select(const std::string& programDir) {
  current_.clear();
  selected_ = false;
  nativeButtons_ = false;
  ini_.Bind(programDir + "/" + kLanguageFileName);
  if (!data::FileExists(ini_.Path())) {
    ini_.Bind({});
    return LanguageResult::kFileMissing;
  }

  const std::uint32_t languageSet =
      data::ParseAutoBase(ini_.GetString("Language", "LanguageSet", ""));
  const std::vector<std::string> sections = ini_.GetSectionNames();
  for (std::size_t i = 0; i < sections.size(); ++i) {
    if (sections[i] != "LanguageStart")
      continue;
    // Counted in 64 bits: a huge LanguageSet must not wrap back into the list.
    const std::uint64_t position = std::uint64_t{languageSet} + 1 + i;
    if (position < sections.size()) {
      current_ = sections[static_cast<std::size_t>(position)];
      selected_ = true;
    }
    break;
  }
  if (!selected_) {
    nativeButtons_ = true;
    return LanguageResult::kNoLanguage;
  }
  nativeButtons_ = NeedsNativeButtons(Text("Sw_BoxTitle"));
  return LanguageResult::kOk;
}

std::string Language::Text(std::string_view key) const {
  if (!selected_)
    return kMissingTextValue;
  return ini_.GetString(current_, key, kMissingTextValue);
}

}  // namespace tavro::app
