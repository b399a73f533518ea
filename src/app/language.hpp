#pragma once
// The language file and the texts of the selected language. Language.ini in
// the program directory holds a [Language] section whose LanguageSet number
// picks one of the sections that follow the [LanguageStart] section; every
// user text is then read by key from that section.

#include <cstdint>
#include <string>
#include <string_view>

#include "data/ini_file.hpp"

namespace tavro::app {

inline constexpr const char* kLanguageFileName = "Language.ini";
inline constexpr const char* kMissingTextValue = "Null";

enum class LanguageResult {
  kOk,
  kFileMissing,  // no Language.ini: the start-up sequence ends
  kNoLanguage,   // no LanguageStart section, or LanguageSet points past the sections
};

class Language {
 public:
  // Binds to <programDir>/Language.ini and selects the language. Without a
  // selected language every Text() is "Null".
  LanguageResult Select(const std::string& programDir);

  // The key's text in the selected language; "Null" when the key, the
  // language or the file is missing.
  std::string Text(std::string_view key) const;
  // True when the message boxes keep the system's own button captions: the
  // box title text has a UTF-16 code unit whose low 8 bits exceed 0xA0 (a
  // text in a script other than Latin), or no language could be selected.
  bool NativeMessageButtons() const { return nativeButtons_; }
  // The selected section's name; empty when none is selected.
  const std::string& CurrentLanguage() const { return current_; }
  bool HasLanguage() const { return selected_; }
  const std::string& FilePath() const { return ini_.Path(); }

 private:
  data::CIni ini_;
  std::string current_;
  bool selected_ = false;
  bool nativeButtons_ = false;
};

// The rule behind NativeMessageButtons, for one text.
bool NeedsNativeButtons(std::string_view boxTitle);

}  // namespace tavro::app
