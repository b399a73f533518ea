#pragma once
// Drives the real Win32 window from another thread as an automation tool
// would: buttons are clicked by control id, boxes are found among the
// window thread's top-level windows and answered by their standard button
// ids, and what the window shows is read back from its controls.

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/live_wire.hpp"
#include "win32ui/demo_terminal.hpp"

namespace tavro::test {

// A standard message box as it shows on the screen.
struct ShownBox {
  HWND hwnd = nullptr;
  std::string title;
  std::string text;
  std::map<int, std::string> buttons;  // standard id -> caption
};

class WindowDriver {
 public:
  using Answerer = std::function<int(const ShownBox&)>;

  // Makes the demo's program directory and terminal (under `parent`, the
  // system's temporary folder when empty) and starts the window on a thread
  // of its own. `prepare` may change the program directory before the
  // window starts.
  explicit WindowDriver(const std::string& parent = {},
                        const std::function<void(const std::string&)>& prepare = {});
  // Drives the window of another program: the first dialog with the device
  // information button that process `processId` shows within `limit`.
  // `programDir` is the one that program was given.
  WindowDriver(DWORD processId, std::string programDir, std::chrono::milliseconds limit);
  // Answers open boxes with their "do not go on" button, presses Esc and
  // waits for the window thread.
  ~WindowDriver();
  WindowDriver(const WindowDriver&) = delete;
  WindowDriver& operator=(const WindowDriver&) = delete;

  bool Started() const { return dialog_ != nullptr; }
  const std::string& Error() const { return error_; }
  HWND Dialog() const { return dialog_; }
  const std::string& ProgramDir() const { return programDir_; }
  // The demo's terminal (in-process windows only).
  sim::LiveWire& Wire() { return *demo_->wire(); }

  // What the control shows (UTF-8).
  std::string Text(int id) const;
  std::string Title() const;
  bool Enabled(int id) const;
  bool Visible(int id) const;
  std::wstring ClassOf(int id) const;
  int ProgressPos() const;
  int ProgressMax() const;
  HICON Icon(int id) const;
  // The dialog's menu item `id` is there and enabled.
  bool MenuEnabled(int id) const;

  // A click on the button, posted as a mouse click would be.
  void Click(int id);
  // The menu command `id`, posted as the menu posts it.
  void Menu(int id);
  // The box open now, if any.
  std::optional<ShownBox> OpenBox() const;
  std::optional<ShownBox> WaitForBox(std::chrono::milliseconds limit) const;
  // Presses the box's button `id`; true once the box has gone.
  bool Answer(const ShownBox& box, int id) const;
  // The window is idle: the device-information button enabled and no box.
  bool Idle() const;
  bool WaitIdle(std::chrono::milliseconds limit) const;
  bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) const;

  // `press` starts an operation; each box is answered by `answer` until the
  // window is idle again. Returns the boxes in order; false in `finished`
  // when the window was not idle within `limit`.
  std::vector<ShownBox> Operate(const std::function<void()>& press, const Answerer& answer,
                                std::chrono::milliseconds limit, bool* finished = nullptr);
  std::vector<ShownBox> Press(int button, const Answerer& answer,
                              std::chrono::milliseconds limit = std::chrono::seconds(120),
                              bool* finished = nullptr);

  // The text of `key` in the program directory's language.
  std::string LanguageText(const char* key) const;
  // After the window has ended: its exit status.
  std::optional<int> ExitStatus() const;
  // Ends the window with Esc and waits for its thread.
  void End();

 private:
  std::unique_ptr<win32ui::DemoTerminal> demo_;
  std::string programDir_;
  std::string error_;
  std::thread thread_;
  DWORD threadId_ = 0;
  HWND dialog_ = nullptr;
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  bool readySet_ = false;
  std::optional<int> exitStatus_;
};

// Answers every question with Yes or OK: the answer that goes on.
int GoOn(const ShownBox& box);

}  // namespace tavro::test
