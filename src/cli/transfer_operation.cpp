#include "cli/transfer_operation.hpp"

#include <cstdio>

#include "cli/command.hpp"
#include "cli/window_session.hpp"

namespace tavro::cli {
namespace {

// Every stage has its own time-outs (the terminal's data backup alone may
// take 121 s); this only bounds a run that no longer moves at all.
constexpr std::uint32_t kOperationLimitMs = 60 * 60 * 1000;
// After the completion the terminal restarts and reports whether its App runs.
constexpr std::uint32_t kRunReportLimitMs = 60 * 1000;

}  // namespace

int RunUntilRunReport(const GlobalOptions& options, int buttonId) {
  WindowSession session(options);
  if (const auto early = session.Start())
    return *early;
  if (const int connected = session.Connect(); connected != kExitOk)
    return connected;
  engine::Context& ctx = session.dlg().context();
  ctx.link.RunResult = -1;
  ctx.link.DownloadCompleted = 0;
  if (const int status = session.RunOperation(buttonId, kOperationLimitMs); status != kExitOk)
    return status;
  if (ctx.link.DownloadCompleted == 0) {
    // A question answered with Cancel, or a terminal that restarted (lost
    // its power) mid-operation and was shown afresh.
    session.PrintInfoText();
    std::fprintf(stderr,
                 "error: the operation ended before its completion (a question answered with "
                 "Cancel, or the terminal restarted); an upgrade interrupted during its data "
                 "download is resumed by the next upgrade\n");
    return kExitFailure;
  }
  if (!session.WaitFor([&ctx] { return ctx.link.RunResult >= 0; }, kRunReportLimitMs)) {
    std::fprintf(stderr, "error: the terminal did not report whether its App runs\n");
    return kExitFailure;
  }
  session.PrintInfoText();
  return ctx.link.RunResult == 1 ? kExitOk : kExitFailure;
}

}  // namespace tavro::cli
