#pragma once
// The window model on a console: the console loop, the real serial port, the
// removal monitor and the console screen around one CTAVRODlg.

#include <cstdint>
#include <functional>
#include <optional>

#include "app/ctavro_dlg.hpp"
#include "cli/console_screen.hpp"
#include "cli/global_options.hpp"
#include "link/native.hpp"
#include "loop/console_loop.hpp"

namespace tavro::cli {

inline constexpr int kExitNoPort = 3;

class WindowSession {
 public:
  explicit WindowSession(const GlobalOptions& options);
  ~WindowSession();
  WindowSession(const WindowSession&) = delete;
  WindowSession& operator=(const WindowSession&) = delete;

  // The start-up sequence; an exit code when the command cannot go on.
  std::optional<int> Start();
  // Presses `buttonId` and runs until the window is idle again (or
  // `limitMs` of real time have passed). Returns the exit code: 0 without an
  // error box, 1 with one.
  int RunOperation(int buttonId, std::uint32_t limitMs);
  // View device information, which every further operation needs first.
  int Connect();
  // Runs the loop until `done` holds; false after `limitMs`.
  bool WaitFor(const std::function<bool()>& done, std::uint32_t limitMs) {
    return loop_.RunUntil(done, limitMs);
  }
  // The information area as the command's result, on stdout.
  void PrintInfoText();

  app::CTAVRODlg& dlg() { return dlg_; }
  ConsoleScreen& screen() { return screen_; }

 private:
  // A question whose Cancel would go on without a step.
  bool GoesOnWhenDeclined(const std::string& question);
  // Ends the process at a question that --no does not answer.
  [[noreturn]] void StopAtQuestion();

  GlobalOptions options_;
  loop::ConsoleLoop loop_;
  ConsoleScreen screen_;
  link::NativeSerialPort port_;
  app::CTAVRODlg dlg_;
  link::PortMonitor monitor_;
};

// The final information text as console lines.
std::string InfoTextLines(const std::string& infoText);

}  // namespace tavro::cli
