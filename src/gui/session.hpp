#pragma once
// One run of the Qt dialog: the decision loop, the window, the screen, the
// serial port, the window model and the removal monitor, wired together.

#include <cstdint>
#include <optional>
#include <string>

#include "app/ctavro_dlg.hpp"
#include "gui/main_window.hpp"
#include "gui/qt_loop.hpp"
#include "gui/qt_screen.hpp"
#include "link/port_monitor.hpp"
#include "link/posix/serial_port.hpp"

namespace tavro::gui {

class Session {
 public:
  // `programDir`: absolute, without a trailing separator.
  explicit Session(std::string programDir);
  // Ends the monitor and the port before the model they report to.
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Window set-up and the start-up port opening, then the window is shown.
  // `port`, when given, is the COM number to select and open (the demo's
  // simulated terminal). False when the set-up ended early.
  bool Start(std::optional<std::uint32_t> port = std::nullopt);

  MainWindow& window() { return window_; }
  QtScreen& screen() { return screen_; }
  app::CTAVRODlg& model() { return model_; }
  QtLoop& loop() { return loop_; }

 private:
  QtLoop loop_;
  MainWindow window_;
  QtScreen screen_;
  link::posix::CSerialPort serial_;
  app::CTAVRODlg model_;
  link::PortMonitor monitor_;
};

// Opens COM<port> as a technician would: opens the port list and selects
// the entry. False when the list has no such entry.
bool SelectPort(app::CTAVRODlg& model, std::uint32_t port);

}  // namespace tavro::gui
