#include "gui/session.hpp"

#include "link/port_list.hpp"
#include "platform/control_ids.hpp"

namespace tavro::gui {

Session::Session(std::string programDir)
    : screen_(window_),
      serial_(loop_),
      model_(loop_, screen_, serial_, std::move(programDir), &link::ListSerialPorts),
      monitor_(loop_, [this](const link::PortRemoval&) { model_.OnDeviceRemoved(); }) {
  window_.Attach(model_);
  transferPoll_.setInterval(static_cast<int>(app::TransferMeter::kMinIntervalMs));
  QObject::connect(&transferPoll_, &QTimer::timeout, &window_, [this] {
    const auto transfer = app::RunningTransfer(model_.context());
    if (const auto line = meter_.Update(transfer, loop_.NowMs()))
      window_.ShowTransferLine(*line);
    // Once the window is idle the figures of a transfer are history.
    if (!transfer && model_.controls().Get(platform::kDeviceInfoButton).enabled)
      window_.ShowTransferLine("");
  });
  transferPoll_.start();
}

Session::~Session() {
  monitor_.Stop();
  serial_.ForceStop();
}

app::StartupOutcome Session::Start(std::optional<std::uint8_t> port) {
  window_.show();
  const app::StartupOutcome outcome = app::RunStartupSequence(model_, port);
  monitor_.Start();
  return outcome;
}

}  // namespace tavro::gui
