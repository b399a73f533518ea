#include "cli/upgrade_command.hpp"

#include "cli/transfer_operation.hpp"
#include "platform/control_ids.hpp"

namespace tavro::cli {

Command AddUpgradeCommand(CLI::App& app) {
  CLI::App* sub = app.add_subcommand(
      "upgrade",
      "Connect, then upgrade the terminal keeping its own data (or resume an interrupted upgrade)");
  return Command{sub, [](const GlobalOptions& options) {
                   return RunUntilRunReport(options, platform::kUpgradeButton, "upgrade");
                 }};
}

}  // namespace tavro::cli
