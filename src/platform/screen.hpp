#pragma once
// The window model's view of the screen: it hands over changed controls and
// asks for modal boxes and file choices. The Qt dialog, the console front end
// and the tests' recording screen implement it.

#include <optional>
#include <string>
#include <vector>

#include "platform/control_state.hpp"
#include "platform/messages.hpp"

namespace tavro::platform {

struct MessageBoxRequest {
  std::string title;
  std::string text;
  MessageKind kind = kBoxOk;
  bool englishButtons = true;  // relabel buttons Yes/No/Ok/Cancel in English
};

class Screen {
 public:
  virtual ~Screen() = default;
  // Shows a modal box and returns the button pressed (MessageButton). While
  // the box is open the decision thread keeps handling bytes and ticks.
  virtual int ShowMessageBox(const MessageBoxRequest& request) = 0;
  // Shows the controls that changed since the last call ("refresh the
  // controls"), each with its whole new state, in id order.
  virtual void ShowControls(const std::vector<ControlChange>& changes) = 0;
  // Lets the user choose an existing file; std::nullopt when cancelled.
  virtual std::optional<std::string> ChooseFile(const std::string& filter) = 0;
  // Lets the user choose an existing folder, offered from `start`;
  // std::nullopt when cancelled. A screen with no chooser answers cancelled.
  virtual std::optional<std::string> ChooseFolder(const std::string& /*start*/) {
    return std::nullopt;
  }
  // A line that tells what the tool is waiting for, shown at once even
  // though the decision thread does not return to its loop until the wait
  // is over (another instance holds the program directory's lock).
  virtual void ShowNotice(const std::string& text) = 0;
};

}  // namespace tavro::platform
