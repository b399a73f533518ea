#include "win32ui/session.hpp"

#include <stdexcept>

#include "link/port_list.hpp"
#include "platform/control_ids.hpp"

namespace tavro::win32ui {
namespace {

sim::LiveWire* StartDemo(DemoTerminal* demo, platform::Loop& loop) {
  if (demo == nullptr)
    return nullptr;
  std::string error;
  sim::LiveWire* wire = demo->Start(loop, error);
  if (wire == nullptr)
    throw std::runtime_error("demo terminal: " + error);
  return wire;
}

// The demo's one port, there while its adapter is plugged in.
app::PortSource DemoPorts(sim::LiveWire& wire) {
  return [&wire] {
    std::vector<link::PortEntry> ports;
    if (wire.Plugged())
      ports.push_back({wire.port(), "demo", "COM" + std::to_string(wire.port())});
    return ports;
  };
}

}  // namespace

Session::Session(HINSTANCE instance, std::string programDir, DemoTerminal* demo)
    : dialog_(instance, loop_),
      screen_(dialog_),
      port_(loop_),
      demo_(demo),
      wire_(StartDemo(demo, loop_)),
      model_(loop_, screen_, wire_ != nullptr ? static_cast<link::SerialLink&>(*wire_) : port_,
             std::move(programDir),
             wire_ != nullptr ? DemoPorts(*wire_) : app::PortSource(&link::ListSerialPorts)),
      monitor_(loop_, [this](const link::PortRemoval&) { model_.OnDeviceRemoved(); }) {
  dialog_.Attach(model_);
  dialog_.SetPoll([this] { PollTransfer(); });
  if (wire_ != nullptr)
    wire_->SetUnplugHandler([this] { model_.OnDeviceRemoved(); });
}

Session::~Session() {
  loop_.Close();
  monitor_.Stop();
  if (demo_ != nullptr)
    demo_->Stop();
  port_.ForceStop();
}

void Session::PollTransfer() {
  const auto transfer = app::RunningTransfer(model_.context());
  if (const auto line = meter_.Update(transfer, loop_.NowMs()))
    dialog_.ShowTransferLine(*line);
  // Once the window is idle the figures of a transfer are history.
  if (!transfer && model_.controls().Get(platform::kDeviceInfoButton).enabled)
    dialog_.ShowTransferLine("");
}

app::StartupOutcome Session::Start(std::optional<std::uint8_t> port) {
  dialog_.Show();
  const app::StartupOutcome outcome = app::RunStartupSequence(model_, port);
  // The demo's removals come from its wire; a serial port's from the system.
  if (wire_ == nullptr)
    monitor_.Start();
  return outcome;
}

int Session::Run() {
  MSG msg{};
  while (!dialog_.ExitStatus()) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1)
      break;
    if (!::IsDialogMessageW(dialog_.hwnd(), &msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  return dialog_.ExitStatus().value_or(static_cast<int>(msg.wParam));
}

}  // namespace tavro::win32ui
