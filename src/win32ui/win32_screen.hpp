#pragma once
// The window model's Screen on the Win32 dialog: control changes go to the
// dialog's controls, boxes are standard message boxes over it, file choices
// the open-file dialog, folder choices the folder browser.

#include "platform/screen.hpp"

namespace tavro::win32ui {

class MainDialog;

class Win32Screen : public platform::Screen {
 public:
  explicit Win32Screen(MainDialog& dialog) : dialog_(dialog) {}

  int ShowMessageBox(const platform::MessageBoxRequest& request) override;
  void ShowControls(const std::vector<platform::ControlChange>& changes) override;
  std::optional<std::string> ChooseFile(const std::string& filter) override;
  std::optional<std::string> ChooseFolder(const std::string& start) override;
  void ShowNotice(const std::string& text) override;

 private:
  MainDialog& dialog_;
};

}  // namespace tavro::win32ui
