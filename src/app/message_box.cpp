#include "app/message_box.hpp"

namespace tavro::app {

bool IsShownBoxKind(platform::MessageKind kind) {
  switch (kind) {
    case platform::kBoxOk:
    case platform::kBoxWarning:
    case platform::kBoxError:
    case platform::kBoxYesNo:
    case platform::kBoxOkCancel:
      return true;
    default:
      return false;
  }
}

int MessageBoxService::MessageBox(const std::string& text, platform::MessageKind kind) {
  if (!IsShownBoxKind(kind))
    return platform::kNoButton;
  platform::MessageBoxRequest request;
  request.title = language_.Text("Sw_BoxTitle");
  request.text = text;
  request.kind = kind;
  request.englishButtons = !language_.NativeMessageButtons();
  return screen_.ShowMessageBox(request);
}

int MessageBoxService::ShowLanguageFileMissing() {
  platform::MessageBoxRequest request;
  request.title = kFixedBoxTitle;
  request.text = kLanguageFileMissingText;
  request.kind = platform::kBoxError;
  request.englishButtons = true;  // the text itself is English
  return screen_.ShowMessageBox(request);
}

}  // namespace tavro::app
