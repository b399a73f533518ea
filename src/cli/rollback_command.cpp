#include "cli/rollback_command.hpp"

#include <cstdio>

#include "cli/window_session.hpp"
#include "link/messages.hpp"
#include "platform/control_ids.hpp"

namespace tavro::cli {
namespace {

// The terminal's own watchdog (121 s) ends a roll back that never reports.
constexpr std::uint32_t kRollbackLimitMs = 5 * 60 * 1000;

int RunRollback(const GlobalOptions& options) {
  WindowSession session(options);
  if (const auto early = session.Start())
    return *early;
  if (const int connected = session.Connect(); connected != kExitOk)
    return connected;
  const int status = session.RunOperation(platform::kRollBackAction, kRollbackLimitMs);
  if (session.dlg().context().link.CmdID != link::MsgGoBack) {
    std::fprintf(stderr, "error: the roll back was not confirmed; the terminal is unchanged\n");
    return kExitFailure;
  }
  if (status == kExitOk) {
    std::printf("%s\n", session.dlg().language().Text("Run_AppGobackOk").c_str());
    std::fflush(stdout);
  }
  return status;
}

}  // namespace

Command AddRollbackCommand(CLI::App& app) {
  CLI::App* sub =
      app.add_subcommand("rollback", "Connect, confirm, and return the terminal to its backup App");
  return Command{sub, RunRollback};
}

}  // namespace tavro::cli
