#pragma once
// The main window: dialog resource 102 with its controls by id, the Tools
// menu, the line beside the progress bar and the two state icons. It draws
// what the window model hands over and forwards clicks, selections and edits
// to it; it decides nothing.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/control_state.hpp"

namespace tavro::app {
class CTAVRODlg;
}

namespace tavro::win32ui {

class Win32Loop;

// Ids of the resource that are not the window model's controls.
inline constexpr int kDialogResource = 102;
inline constexpr int kAppIcon = 128;
inline constexpr int kMenuResource = 200;
inline constexpr int kTransferLine = 3001;  // bytes, rate and time left of a transfer
// Esc ends the dialog as a cancelled one, without the close routine.
inline constexpr int kEscapeExitStatus = 0;

class MainDialog {
 public:
  // Creates the dialog from its resource, hidden. Throws when it cannot be
  // created (a broken resource).
  MainDialog(HINSTANCE instance, Win32Loop& loop);
  ~MainDialog();
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  void Attach(app::CTAVRODlg& model) { model_ = &model; }
  // Called every kTransferPollMs while the window lives (the transfer line).
  void SetPoll(std::function<void()> poll) { poll_ = std::move(poll); }
  static constexpr UINT kTransferPollMs = 200;

  HWND hwnd() const { return hwnd_; }
  void Show();
  void ApplyControl(int id, const platform::ControlState& state);
  void ShowTransferLine(const std::string& line);
  // Drawn at once: the decision thread does not return to its loop for a while.
  void ShowNotice(const std::string& text);
  // Set once the window has ended (close routine or Esc); the message loop
  // ends with this status.
  std::optional<int> ExitStatus() const { return exitStatus_; }

 private:
  static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnCommand(int id, int code);
  void End(int status);
  void ApplyMenuCaptions();
  HICON StateIcon(int icon) const;

  Win32Loop& loop_;
  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  app::CTAVRODlg* model_ = nullptr;
  std::function<void()> poll_;
  bool applying_ = false;  // edits made by ApplyControl are not the user's
  std::optional<int> exitStatus_;
};

}  // namespace tavro::win32ui
