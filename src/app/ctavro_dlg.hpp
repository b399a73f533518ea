#pragma once
// The window model: owns the state of the tool and routes every input -
// received bytes, timer ticks, clicks and selections, device removals - to
// the unit that handles it. It never draws: changed controls go to the
// Screen, frames to the SerialLink, timers to the Loop.

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "app/language.hpp"
#include "app/message_box.hpp"
#include "app/port_selection.hpp"
#include "data/run_log.hpp"
#include "engine/context.hpp"
#include "link/serial_link.hpp"
#include "platform/loop.hpp"
#include "platform/screen.hpp"

namespace tavro::app {

inline constexpr int kCloseExitStatus = 1;

class CTAVRODlg {
 public:
  CTAVRODlg(platform::Loop& loop, platform::Screen& screen, link::SerialLink& serial,
            std::string programDir, PortSource ports);
  CTAVRODlg(const CTAVRODlg&) = delete;
  CTAVRODlg& operator=(const CTAVRODlg&) = delete;

  // Window set-up up to the language and the port button caption. False when
  // no language could be selected: its message has been shown and the
  // start-up sequence ends there.
  bool SetUpWindow();
  // The last set-up step: "Ready", developer controls disabled, all controls shown.
  void FinishWindowSetUp();

  // Inputs, all on the decision thread.
  void OnRxByte(std::uint8_t byte);
  void OnTimerTick(int timerId);
  void OnButton(int controlId);
  void OnSelect(int controlId, int index);
  void OnDropDown(int controlId);
  void OnEditChanged(int controlId, const std::string& text);
  void OnDeviceRemoved();
  // A failure the serial transport reports: an error box with its text.
  void ShowTransportError(const std::string& text);
  void OnEnter() {}  // the default button does nothing
  // The close box, before the close routine: true when the window may close.
  // While an operation runs, an OK/Cancel question says what runs and what
  // an interruption leaves; Cancel keeps the window and the operation going.
  // An idle window closes without a question.
  bool ConfirmClose();
  // The text of that question for the operation running now.
  std::string CloseQuestion();
  // What stopping the running operation now means, without the question:
  // the console says it when Ctrl+C stops a run.
  std::string StopConsequences();
  // The close box: buffers released, run log closed; the process then ends
  // with the returned status.
  int Close();

  engine::Context& context() { return ctx_; }
  const platform::ControlTable& controls() const { return ctx_.controls; }
  Language& language() { return language_; }
  MessageBoxService& boxes() { return boxes_; }
  data::RunLog& runLog() { return runLog_; }
  const PortSource& ports() const { return ports_; }

  // Routes a push button to its operation (view information, backup, ...).
  void SetButtonHandler(int controlId, std::function<void()> handler) {
    buttons_[controlId] = std::move(handler);
  }

 private:
  Language language_;
  MessageBoxService boxes_;
  data::RunLog runLog_;
  engine::Context ctx_;
  PortSource ports_;
  std::map<int, std::function<void()>> buttons_;
  // The operation button pressed last: the one whose operation runs, if any.
  int operationButton_ = 0;
};

}  // namespace tavro::app
