#pragma once
// Texts and modal boxes for the whole tool: texts come from the selected
// language, boxes go to the Screen titled with the language's box title.

#include <string>
#include <string_view>

#include "app/language.hpp"
#include "platform/messages.hpp"
#include "platform/screen.hpp"

namespace tavro::app {

// Title of the one box shown before any language is known.
inline constexpr const char* kFixedBoxTitle = "TAVRO";
inline constexpr const char* kLanguageFileMissingText = "Language.ini does not exist !";

class MessageBoxService : public platform::Messages {
 public:
  MessageBoxService(const Language& language, platform::Screen& screen)
      : language_(language), screen_(screen) {}

  std::string Text(std::string_view key) override { return language_.Text(key); }
  // Kinds 0, 2, 3, 4 and 5 are shown, titled Text("Sw_BoxTitle"), with
  // English button captions unless the language wants the system's own.
  // Any other kind shows nothing and returns 0.
  int MessageBox(const std::string& text, platform::MessageKind kind) override;
  // "Language.ini does not exist !" in an error box with the fixed title.
  int ShowLanguageFileMissing();

 private:
  const Language& language_;
  platform::Screen& screen_;
};

bool IsShownBoxKind(platform::MessageKind kind);

}  // namespace tavro::app
