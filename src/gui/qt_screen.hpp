#pragma once
// The window model's Screen on Qt: control changes go to the main window,
// boxes are QMessageBoxes over it, file choices an open-file dialog.
//
// Tests (and the unattended screenshot run) answer boxes and file choices
// through hooks instead of modal dialogs.

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/screen.hpp"

namespace tavro::gui {

class MainWindow;

// "Label|patterns|Label|patterns||" (patterns separated by ';') as a Qt
// filter "Label (patterns);;Label (patterns)". A label that already ends in
// its patterns in parentheses is kept as it is.
QString QtFileFilter(const std::string& filter);

// Display form of a model text: "\r\n" line breaks become "\n".
QString DisplayText(const std::string& text);

class QtScreen : public platform::Screen {
 public:
  using BoxAnswerer = std::function<int(const platform::MessageBoxRequest&)>;
  using FileChooser = std::function<std::optional<std::string>(const QString& qtFilter)>;
  using FolderChooser = std::function<std::optional<std::string>(const QString& start)>;

  explicit QtScreen(MainWindow& window) : window_(window) {}

  int ShowMessageBox(const platform::MessageBoxRequest& request) override;
  void ShowControls(const std::vector<platform::ControlChange>& changes) override;
  std::optional<std::string> ChooseFile(const std::string& filter) override;
  std::optional<std::string> ChooseFolder(const std::string& start) override;
  void ShowNotice(const std::string& text) override;

  // Boxes of the shown kinds go to `answerer` instead of a modal dialog;
  // an empty answerer restores the dialog. Kinds that show nothing never
  // reach it.
  void SetBoxAnswerer(BoxAnswerer answerer) { answerer_ = std::move(answerer); }
  // File choices go to `chooser` instead of the open-file dialog.
  void SetFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }
  // Folder choices go to `chooser` instead of the folder dialog.
  void SetFolderChooser(FolderChooser chooser) { folderChooser_ = std::move(chooser); }

 private:
  MainWindow& window_;
  BoxAnswerer answerer_;
  FileChooser chooser_;
  FolderChooser folderChooser_;
};

}  // namespace tavro::gui
