#include "cli/download_command.hpp"

#include <cstdio>

#include "cli/window_session.hpp"
#include "platform/control_ids.hpp"

namespace tavro::cli {
namespace {

// Every stage has its own time-outs (the terminal's data backup alone may
// take 121 s); this only bounds a run that no longer moves at all.
constexpr std::uint32_t kDownloadLimitMs = 60 * 60 * 1000;
// After the completion the terminal restarts and reports whether its App runs.
constexpr std::uint32_t kRunReportLimitMs = 60 * 1000;

int RunDownload(const GlobalOptions& options) {
  WindowSession session(options);
  if (const auto early = session.Start())
    return *early;
  if (const int connected = session.Connect(); connected != kExitOk)
    return connected;
  engine::Context& ctx = session.dlg().context();
  ctx.link.RunResult = -1;
  if (const int status = session.RunOperation(platform::kDownloadButton, kDownloadLimitMs);
      status != kExitOk)
    return status;
  if (!session.WaitFor([&ctx] { return ctx.link.RunResult >= 0; }, kRunReportLimitMs)) {
    std::fprintf(stderr, "error: the terminal did not report whether its App runs\n");
    return kExitFailure;
  }
  session.PrintInfoText();
  // Only a terminal that runs its new App counts as a finished download.
  return ctx.link.RunResult == 1 ? kExitOk : kExitFailure;
}

}  // namespace

Command AddDownloadCommand(CLI::App& app) {
  CLI::App* sub = app.add_subcommand(
      "download", "Connect, then download the package in the program directory to the terminal");
  return Command{sub, RunDownload};
}

}  // namespace tavro::cli
