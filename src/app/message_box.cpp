#include "app/message_box.hpp"

namespace tavro::app {

bool IsShownBoxKind(int kind) {
  switch (kind) {
    case kBoxOk:
    case kBoxWarning:
    case kBoxError:
    case kBoxYesNo:
    case kBoxOkCancel:
      return true;
    default:
      return false;
  }
}

int MessageBoxService::MessageBox(const std::string& text, int kind) {
  if (!IsShownBoxKind(kind))
    return kNoButton;
  MessageBoxRequest request;
  request.title = language_.Text("Sw_BoxTitle");
  request.text = text;
  request.kind = kind;
  request.englishButtons = !language_.NativeMessageButtons();
  return screen_.ShowMessageBox(request);
}

int MessageBoxService::ShowLanguageFileMissing() {
  MessageBoxRequest request;
  request.title = kFixedBoxTitle;
  request.text = kLanguageFileMissingText;
  request.kind = kBoxError;
  request.englishButtons = true;  // the text itself is English
  return screen_.ShowMessageBox(request);
}

}  // namespace tavro::app
