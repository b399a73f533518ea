#include "cli/download_command.hpp"

#include "cli/transfer_operation.hpp"
#include "platform/control_ids.hpp"

namespace tavro::cli {

Command AddDownloadCommand(CLI::App& app) {
  CLI::App* sub = app.add_subcommand(
      "download", "Connect, then download the package in the program directory to the terminal");
  return Command{sub, [](const GlobalOptions& options) {
                   return RunUntilRunReport(options, platform::kDownloadButton, "download");
                 }};
}

}  // namespace tavro::cli
