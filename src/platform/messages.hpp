#pragma once
// What file and data routines need from the window to tell the technician
// something: a localized text by key and a modal message box. The window
// model implements it; tests use a recording fake.

#include <string>
#include <string_view>

namespace tavro::platform {

// Message box kinds and the buttons they return.
enum MessageKind : int {
  kBoxOk = 0,
  kBoxNone = 1,  // shows nothing, returns 0
  kBoxWarning = 2,
  kBoxError = 3,
  kBoxYesNo = 4,
  kBoxOkCancel = 5,
};
enum MessageButton : int {
  kNoButton = 0,
  kButtonOk = 1,
  kButtonCancel = 2,
  kButtonYes = 6,
  kButtonNo = 7,
};

class Messages {
 public:
  virtual ~Messages() = default;
  // Text of `key` in the selected language; "Null" when missing.
  virtual std::string Text(std::string_view key) = 0;
  // Modal box titled with the language's box title; returns the button.
  virtual int MessageBox(const std::string& text, MessageKind kind) = 0;
};

// "<path><F_NotExist>" / "<path><F_ReadInErr>" in an error box: the one way
// a file that cannot be opened or read is reported.
inline void ReportFileNotFound(Messages& m, const std::string& path) {
  m.MessageBox(path + m.Text("F_NotExist"), kBoxError);
}
inline void ReportFileUnreadable(Messages& m, const std::string& path) {
  m.MessageBox(path + m.Text("F_ReadInErr"), kBoxError);
}

}  // namespace tavro::platform
