#include "cli/window_session.hpp"

#include <cstdio>
#include <cstdlib>

#include "app/language.hpp"
#include "app/startup_sequence.hpp"
#include "app/transfer_meter.hpp"
#include "cli/interrupt_notice.hpp"
#include "link/com_ports.hpp"
#include "platform/control_ids.hpp"

namespace tavro::cli {

WindowSession::WindowSession(const GlobalOptions& options)
    : options_(options),
      screen_(loop_, options.answer),
      port_(loop_),
      dlg_(loop_, screen_, port_, options.programDir, [] { return link::ListSerialPorts(); }),
      monitor_(loop_, [this](const link::PortRemoval&) { dlg_.OnDeviceRemoved(); }) {
  screen_.SetStopForDeclined([this](const std::string& text) { return GoesOnWhenDeclined(text); },
                             [this] { StopAtQuestion(); });
}

bool WindowSession::GoesOnWhenDeclined(const std::string& question) {
  // Cancel at the App backup question goes on without the backup, Cancel at
  // the damaged-data question goes on without data: both still download.
  for (const char* key : {"Run_Bak_App_Warn_L3", "Run_Intg_Warn_L2"}) {
    const std::string line = dlg_.language().Text(key);
    if (!line.empty() && line != app::kMissingTextValue && question.find(line) != std::string::npos)
      return true;
  }
  return false;
}

void WindowSession::StopAtQuestion() {
  // Inside the question nothing is on its way to the terminal; the port,
  // the removal monitor and the run log are closed as at the end of a run.
  monitor_.Stop();
  port_.RequestStop();
  dlg_.Close();
  std::fflush(nullptr);
  std::exit(kExitFailure);
}

WindowSession::~WindowSession() {
  monitor_.Stop();
  port_.RequestStop();
}

std::optional<int> WindowSession::Start() {
  std::optional<std::uint8_t> onlyPort;
  if (options_.comPort)
    onlyPort = static_cast<std::uint8_t>(*options_.comPort);
  const app::StartupOutcome outcome = app::RunStartupSequence(dlg_, onlyPort);
  if (!outcome.languageReady) {
    // The box names only the file; say where it was looked for.
    std::fprintf(stderr,
                 "  looked in %s/Language.ini; pass --dir PROGRAM_DIR to name the program "
                 "directory\n",
                 options_.programDir.c_str());
    return kExitFailure;
  }
  if (outcome.exitRequested)
    return kExitFailure;
  if (!outcome.portOpened) {
    // The box names only the port; say which device and why.
    for (const std::string& failure : port_.OpenFailures())
      std::fprintf(stderr, "error: %s\n", failure.c_str());
    return kExitNoPort;
  }
  // Without --port the choice is the tool's: say it before talking.
  const std::uint32_t number = dlg_.context().port.number;
  std::fprintf(stderr, "port: %s (%s)\n", link::ComName(number).c_str(),
               link::ComDevicePath(number).c_str());
  if (!outcome.packageReady)
    return kExitFailure;
  monitor_.Start();
  return std::nullopt;
}

int WindowSession::RunOperation(int buttonId, std::uint32_t limitMs) {
  const int errorsBefore = screen_.errorBoxes();
  screen_.SetOperationRunning(true);
  dlg_.OnButton(buttonId);
  // Ctrl+C from now on says what stopping this operation leaves; the text
  // is composed here, where it may allocate, not in the handler.
  if (dlg_.context().operations.IsRunning())
    SayOnInterrupt("\n" + InfoTextLines(dlg_.StopConsequences()) + "\n");
  app::TransferMeter meter;
  const auto showTransfer = [this, &meter] {
    const std::optional<app::TransferState> state = app::RunningTransfer(dlg_.context());
    const bool due = meter.Update(state, loop_.NowMs()).has_value();
    std::optional<std::string> figures;
    if (state)
      figures = app::TransferLine(*state, meter.Rate());
    screen_.ShowTransfer(figures, due);
  };
  const bool finished = loop_.RunUntil(
      [this, &showTransfer] {
        showTransfer();
        return dlg_.controls().Get(platform::kDeviceInfoButton).enabled;
      },
      limitMs);
  screen_.SetOperationRunning(false);
  SayOnInterrupt("");
  if (!finished) {
    std::fprintf(stderr, "error: the operation did not finish in time\n");
    return kExitFailure;
  }
  return screen_.errorBoxes() > errorsBefore ? kExitFailure : kExitOk;
}

int WindowSession::Connect() {
  // Identification takes seconds; its own time-outs end it well before this.
  constexpr std::uint32_t kConnectLimitMs = 5 * 60 * 1000;
  return RunOperation(platform::kDeviceInfoButton, kConnectLimitMs);
}

void WindowSession::PrintInfoText() {
  const std::string text = InfoTextLines(dlg_.controls().Get(platform::kInfoText).text);
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
}

std::string InfoTextLines(const std::string& infoText) {
  std::string lines;
  for (std::size_t i = 0; i < infoText.size(); ++i) {
    if (infoText[i] == '\r')
      continue;
    lines += infoText[i];
  }
  while (!lines.empty() && lines.front() == '\n')
    lines.erase(0, 1);
  return lines;
}

}  // namespace tavro::cli
