#include "cli/backup_command.hpp"

#include "cli/window_session.hpp"
#include "platform/control_ids.hpp"

namespace tavro::cli {
namespace {

// A 64 KiB E2PROM or a large App at 115200 baud takes well under this; the
// terminal's own time-outs end a stalled read long before.
constexpr std::uint32_t kBackupLimitMs = 30 * 60 * 1000;

int RunBackup(const GlobalOptions& options) {
  WindowSession session(options);
  if (const auto early = session.Start())
    return *early;
  if (const int connected = session.Connect(); connected != kExitOk)
    return connected;
  // Every backup file is verified before the closing box, so no error box
  // means every file is on the disk as it was received.
  const int status = session.RunOperation(platform::kBackupButton, kBackupLimitMs);
  if (status != kExitOk)
    return status;
  session.PrintInfoText();
  return status;
}

}  // namespace

Command AddBackupCommand(CLI::App& app) {
  CLI::App* sub = app.add_subcommand(
      "backup", "Connect to the terminal and back its App and parameter data up to the PC");
  return Command{sub, RunBackup};
}

}  // namespace tavro::cli
