#pragma once
// One run of the Win32 window: the decision loop, the dialog, the screen,
// the serial line (the port, or the demo's terminal in the process), the
// window model and the removal monitor, wired together.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "app/ctavro_dlg.hpp"
#include "app/startup_sequence.hpp"
#include "app/transfer_meter.hpp"
#include "link/native.hpp"
#include "win32ui/demo_terminal.hpp"
#include "win32ui/main_dialog.hpp"
#include "win32ui/win32_loop.hpp"
#include "win32ui/win32_screen.hpp"

namespace tavro::win32ui {

class Session {
 public:
  // `programDir`: absolute, without a trailing separator. With `demo` the
  // window talks to the demo's terminal instead of a serial port; the demo
  // must outlive the session. Throws when the window or the demo's terminal
  // cannot be made. Constructed on the thread that will run the window.
  Session(HINSTANCE instance, std::string programDir, DemoTerminal* demo = nullptr);
  // Lets the threads go before the window they hand over to.
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Shows the window and runs the start-up sequence; `port`, when given, is
  // the one port it tries. Then removals of serial devices are watched.
  app::StartupOutcome Start(std::optional<std::uint8_t> port = std::nullopt);
  // The window's message loop, until the window ends: its exit status.
  int Run();

  MainDialog& dialog() { return dialog_; }
  app::CTAVRODlg& model() { return model_; }
  Win32Loop& loop() { return loop_; }

 private:
  void PollTransfer();

  Win32Loop loop_;
  MainDialog dialog_;
  Win32Screen screen_;
  link::NativeSerialPort port_;
  DemoTerminal* demo_;
  sim::LiveWire* wire_;
  app::CTAVRODlg model_;
  link::PortMonitor monitor_;
  app::TransferMeter meter_;
};

}  // namespace tavro::win32ui
