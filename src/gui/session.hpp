#pragma once
// One run of the Qt dialog: the decision loop, the window, the screen, the
// serial port, the window model and the removal monitor, wired together.

#include <QTimer>
#include <cstdint>
#include <optional>
#include <string>

#include "app/ctavro_dlg.hpp"
#include "app/startup_sequence.hpp"
#include "app/transfer_meter.hpp"
#include "gui/main_window.hpp"
#include "gui/qt_loop.hpp"
#include "gui/qt_screen.hpp"
#include "link/native.hpp"

namespace tavro::gui {

class Session {
 public:
  // `programDir`: absolute, without a trailing separator.
  explicit Session(std::string programDir);
  // Ends the monitor and the port before the model they report to.
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Shows the window and runs the start-up sequence; `port`, when given, is
  // the one port it tries. Then removals of serial devices are watched. When
  // the outcome asks for the program to end, the caller ends it.
  app::StartupOutcome Start(std::optional<std::uint8_t> port = std::nullopt);

  MainWindow& window() { return window_; }
  QtScreen& screen() { return screen_; }
  app::CTAVRODlg& model() { return model_; }
  QtLoop& loop() { return loop_; }

 private:
  QtLoop loop_;
  MainWindow window_;
  QtScreen screen_;
  link::NativeSerialPort serial_;
  app::CTAVRODlg model_;
  link::PortMonitor monitor_;
  // Samples the running transfer for the line beside the progress bar.
  QTimer transferPoll_;
  app::TransferMeter meter_;
};

}  // namespace tavro::gui
