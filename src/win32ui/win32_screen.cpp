#include "win32ui/win32_screen.hpp"

#include "win32ui/file_chooser.hpp"
#include "win32ui/folder_chooser.hpp"
#include "win32ui/main_dialog.hpp"
#include "win32ui/message_box.hpp"

namespace tavro::win32ui {

int Win32Screen::ShowMessageBox(const platform::MessageBoxRequest& request) {
  return win32ui::ShowMessageBox(dialog_.hwnd(), request);
}

void Win32Screen::ShowControls(const std::vector<platform::ControlChange>& changes) {
  for (const platform::ControlChange& change : changes)
    dialog_.ApplyControl(change.id, change.state);
}

std::optional<std::string> Win32Screen::ChooseFile(const std::string& filter) {
  return ChooseExistingFile(dialog_.hwnd(), filter);
}

std::optional<std::string> Win32Screen::ChooseFolder(const std::string& start) {
  return ChooseExistingFolder(dialog_.hwnd(), start);
}

void Win32Screen::ShowNotice(const std::string& text) {
  dialog_.ShowNotice(text);
}

}  // namespace tavro::win32ui
